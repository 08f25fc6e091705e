// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// Form1, the program's one window: choose the export and the scene file,
// set Save Trackpoints and the factor, convert.
#pragma once

#include "common_dialog.h"
#include "quorvel/convert_state.h"

#include <QHash>
#include <QLabel>
#include <QRect>
#include <QStringList>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

namespace Ui {
class Form1;
}

namespace quorvel::ui {

// Shows the description of a failed conversion to the user; Paths are the
// file names it may hold, which are broken only at their separators.
using ErrorBox = std::function<void(QWidget* Parent, const QString& Message, const QStringList& Paths)>;

// The program's error box: a modal message box, wide enough for a shot's
// path on one line, up to a share of the screen.
void ShowErrorBox(QWidget* Parent, const QString& Message, const QStringList& Paths);

// The widest line of the error box's message, in pixels, on Parent's screen.
int ErrorTextWidth(const QWidget& Parent);

class Form1 : public QWidget {
    Q_OBJECT

public:
    // With the toolkit's file dialog and error box.
    explicit Form1(QWidget* Parent = nullptr);
    Form1(std::unique_ptr<CommonDialog> Dialog, ErrorBox ShowError, QWidget* Parent = nullptr);
    ~Form1() override;

    CommonDialog& CommonDialog1() { return *dialog_; }
    const ConvertState& State() const { return state_; }
    // Screen pixels per design pixel (a twip is 1/15 of a design pixel).
    double LayoutScale() const { return scale_; }

    // Path as the export file, as if chosen with the input chooser: the
    // dialog offers it next time (the program's FILE argument, a drop). A
    // path that cannot be read is kept, and the status line says why.
    void OpenInputFile(const QString& Path);

public slots:
    void Command1_Click();  // Convert
    void Command2_Click();  // the input chooser
    void Command3_Click();  // the output chooser

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;
    void changeEvent(QEvent* Event) override;
    void dragEnterEvent(QDragEnterEvent* Event) override;
    void dropEvent(QDropEvent* Event) override;
    void showEvent(QShowEvent* Event) override;

private:
    void ApplyLayout();
    double ScreenScaleLimit() const;
    std::array<QWidget*, 5> Captioned() const;  // the controls with a caption
    void ShowPictures();
    // What the status line shows; a failure is cleared by the next export.
    enum class StatusKind { Plain, Failure };
    void ShowStatus(const QString& Text, const QString& ToolTip, StatusKind Kind = StatusKind::Plain);
    void ShowStatusDetails();
    QString StartFolder() const;
    void ReturnInFactor();

    std::unique_ptr<Ui::Form1> ui_;
    std::unique_ptr<CommonDialog> dialog_;
    ErrorBox showError_;
    ConvertState state_;
    QHash<QWidget*, QRect> design_;  // each control's rectangle as designed
    QHash<QLabel*, QString> pictures_;  // each picture box and its drawing
    QSize designSize_;
    double scale_ = 1.0;
    StatusKind statusKind_ = StatusKind::Plain;
    QString lastFolder_;  // where the last chosen file lies
};

}  // namespace quorvel::ui
