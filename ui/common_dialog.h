// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The one file dialog that both file choosers of the main window share.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace quorvel::ui {

// The properties stay between uses: the file name chosen in one chooser is
// the name the next dialog starts with unless a chooser clears it.
class CommonDialog {
public:
    enum class Kind { Open, Save };

    virtual ~CommonDialog() = default;

    QString FileName;
    QString Filter;       // "description|pattern|description|pattern..."
    int FilterIndex = 1;  // the entry shown first, counted from 1
    QString DefaultExt;   // added to a saved name typed without one, e.g. ".syncar"
    QString InitDir;      // the folder the dialog starts in

    // Shows the dialog; on a choice FileName becomes the chosen path and the
    // result is true. Cancelling returns false and leaves FileName as it was.
    bool ShowOpen(QWidget* Parent) { return Show(Kind::Open, Parent); }
    bool ShowSave(QWidget* Parent) { return Show(Kind::Save, Parent); }

protected:
    // The chosen path, or nothing when the user cancelled.
    virtual std::optional<QString> Run(Kind DialogKind, QWidget* Parent) = 0;

private:
    bool Show(Kind DialogKind, QWidget* Parent);
};

// The file dialog of the Qt toolkit.
class QtCommonDialog : public CommonDialog {
protected:
    std::optional<QString> Run(Kind DialogKind, QWidget* Parent) override;
};

// Filter as the name filters of a Qt file dialog: "Name (pattern)" per entry.
// "*.*" means every file; patterns also match their lower-case spelling, as
// file names are case-sensitive here.
QStringList NameFilters(const QString& Filter);

}  // namespace quorvel::ui
