// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "form1.h"

#include "busy_cursor.h"
#include "eliding_style.h"
#include "error_text.h"
#include "layout_scale.h"
#include "pictures.h"
#include "quorvel/conversion_run.h"
#include "quorvel/error.h"
#include "status_text.h"
#include "ui_form1.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QStyleFactory>
#include <QStyleOptionFocusRect>
#include <QTextDocument>
#include <QToolTip>
#include <QUrl>
#include <QWindow>

#include <algorithm>
#include <exception>

namespace quorvel::ui {

namespace {

constexpr Qt::WindowFlags FixedWindow = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                        Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                                        Qt::MSWindowsFixedSizeDialogHint;

// The largest sensible scale: far beyond any real font, it ends the search.
constexpr double MaxScale = 8.0;

// The engine takes file names, and words its messages, in UTF-8 on every
// system: Qt's 8-bit encoding on Windows is the ANSI code page, which cannot
// hold every name a user may give a folder.
std::string EngineName(const QString& Path) { return Path.toStdString(); }
QString EngineText(const std::string& Text) { return QString::fromStdString(Text); }

// A control's caption as the user reads it, without the mnemonic's marker.
QString ReadCaption(const QWidget& Control)
{
    QString text;
    if (const auto* button = qobject_cast<const QAbstractButton*>(&Control))
        text = button->text();
    else if (const auto* label = qobject_cast<const QLabel*>(&Control))
        text = label->text();
    return text.remove(u'&');
}

// The one local file a drag carries, or an empty text.
QString DraggedFile(const QMimeData* Mime)
{
    if (!Mime || !Mime->hasUrls() || Mime->urls().size() != 1)
        return {};
    const QUrl url = Mime->urls().constFirst();
    if (!url.isLocalFile() || !QFileInfo(url.toLocalFile()).isFile())
        return {};
    return url.toLocalFile();
}

// Labels and message boxes show file names and export text as they are:
// Qt would take text that looks like markup for markup, and open links.
void ShowAsPlainText(QLabel& Label)
{
    Label.setTextFormat(Qt::PlainText);
    Label.setOpenExternalLinks(false);
    Label.setTextInteractionFlags(Label.textInteractionFlags() &
                                  ~(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard));
}

// Tooltips too, which have no plain-text setting: each is shown escaped.
class PlainToolTips : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* Watched, QEvent* Event) override
    {
        auto* widget = qobject_cast<QWidget*>(Watched);
        if (Event->type() != QEvent::ToolTip || !widget || widget->toolTip().isEmpty())
            return QObject::eventFilter(Watched, Event);
        const auto* help = static_cast<const QHelpEvent*>(Event);
        QToolTip::showText(help->globalPos(), Qt::convertFromPlainText(widget->toolTip(), Qt::WhiteSpacePre), widget,
                           {}, widget->toolTipDuration());
        return true;
    }
};

}  // namespace

void ShowErrorBox(QWidget* Parent, const QString& Message, const QStringList& Paths)
{
    QMessageBox box(QMessageBox::Critical, Parent->windowTitle(), QObject::tr("The conversion failed."),
                    QMessageBox::Ok, Parent);
    box.setInformativeText(Message);
    for (QLabel* label : box.findChildren<QLabel*>())
        ShowAsPlainText(*label);
    // The box sizes itself to its first line and wraps the message anywhere
    // in that: break it here, and let the box grow to the longest line.
    if (auto* detail = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        detail->setWordWrap(false);
        detail->setText(ErrorLines(Message, Paths, detail->fontMetrics(), ErrorTextWidth(*Parent)).join(u'\n'));
    }
    box.exec();
}

int ErrorTextWidth(const QWidget& Parent)
{
    const QScreen* shown = Parent.screen();
    const int screen = shown ? shown->availableGeometry().width() : 800;
    // QMessageBox never grows beyond this; its icon and margins take the rest.
    const int boxLimit = screen <= 1024 ? screen : std::min(screen - 480, 1000);
    const int margins = Parent.style()->pixelMetric(QStyle::PM_MessageBoxIconSize) + 100;
    return std::min(screen * 3 / 5, boxLimit - margins);
}

Form1::Form1(QWidget* Parent) : Form1(std::make_unique<QtCommonDialog>(), ShowErrorBox, Parent) {}

Form1::Form1(std::unique_ptr<CommonDialog> Dialog, ErrorBox ShowError, QWidget* Parent)
    : QWidget(Parent, FixedWindow),
      ui_(std::make_unique<Ui::Form1>()),
      dialog_(std::move(Dialog)),
      showError_(std::move(ShowError))
{
    ui_->setupUi(this);
    setWindowIcon(WindowIcon());
    auto* toolTips = new PlainToolTips(this);
    for (QWidget* control : findChildren<QWidget*>()) {
        control->installEventFilter(toolTips);
        if (auto* label = qobject_cast<QLabel*>(control))
            ShowAsPlainText(*label);
    }
    pictures_ = {{ui_->Picture1_0, ScenePicture}, {ui_->Picture1_1, QuorvelPicture},
                 {ui_->Picture1_2, ExportPicture}};
    // Owned by the window, so it outlives the controls that draw with it.
    auto* eliding = new ElidingStyle(QStyleFactory::create(QApplication::style()->name()));
    eliding->setParent(this);
    for (QWidget* control : Captioned())
        control->setStyle(eliding);
    designSize_ = size();
    for (QWidget* control : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        design_.insert(control, control->geometry());
    // A file dropped anywhere, even on a text box, is the export file.
    for (QLineEdit* box : findChildren<QLineEdit*>())
        box->setAcceptDrops(false);
    setAcceptDrops(true);
    lastFolder_ = QDir::homePath();
    dialog_->InitDir = lastFolder_;
    // The status line's details open in a box by Enter or a click, for
    // those who cannot hover.
    ui_->Label2->installEventFilter(this);
    ApplyLayout();

    connect(ui_->Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(ui_->Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(ui_->Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(ui_->Text3, &QLineEdit::returnPressed, this, &Form1::ReturnInFactor);
}

Form1::~Form1() = default;

std::array<QWidget*, 5> Form1::Captioned() const
{
    return {ui_->Command1, ui_->Command2, ui_->Command3, ui_->Check1, ui_->Label1};
}

void Form1::ApplyLayout()
{
    // Start from the font's size, then grow until every caption fits; the
    // pictures are drawn to whatever size their boxes get.
    double scale = FontScale(QFontMetricsF(font()));
    const auto fits = [this](double candidate) {
        for (auto it = design_.cbegin(); it != design_.cend(); ++it)
            if (!pictures_.contains(qobject_cast<QLabel*>(it.key())) &&
                !CaptionFits(*it.key(), ScaledRect(it.value(), candidate).size()))
                return false;
        return true;
    };
    // The status line shows every summary whole, on up to two lines.
    QLabel& status = *ui_->Label2;
    const QString longest = LongestSummary();
    const auto statusFits = [&](double candidate) {
        const QSize room = ScaledRect(design_.value(&status), candidate).size();
        const QSize needed = status.fontMetrics().boundingRect(QRect(QPoint(0, 0), room), 0, longest).size();
        return needed.width() <= room.width() && needed.height() <= room.height();
    };
    while (!(fits(scale) && statusFits(scale)) && scale < MaxScale)
        scale += 0.01;
    // A window larger than the screen would hide Convert: past that size
    // the captions are shortened instead, whole in their tooltips.
    scale = std::min(scale, ScreenScaleLimit());
    scale_ = scale;
    for (auto it = design_.cbegin(); it != design_.cend(); ++it)
        it.key()->setGeometry(ScaledRect(it.value(), scale));
    setFixedSize(ScaledRect(QRect(QPoint(0, 0), designSize_), scale).size());
    for (QWidget* control : Captioned())
        control->setToolTip(CaptionFits(*control, control->size()) ? QString() : ReadCaption(*control));
    ShowPictures();
}

double Form1::ScreenScaleLimit() const
{
    const QScreen* shown = screen();
    if (!shown)
        return MaxScale;
    // The window manager's frame: known once the window is shown, guessed before.
    QSize frame = frameGeometry().size() - size();
    if (frame.height() <= 0) {
        const int border = 4;
        frame = QSize(2 * border, style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this) + 2 * border);
    }
    const QSize room = shown->availableGeometry().size() - frame;
    // One pixel less, so that rounding the edges cannot overshoot.
    return std::max(0.1, std::min((room.width() - 1.0) / designSize_.width(),
                                  (room.height() - 1.0) / designSize_.height()));
}

void Form1::ShowPictures()
{
    // Square: a box's rounded edges may make it a pixel wider than high.
    for (auto it = pictures_.cbegin(); it != pictures_.cend(); ++it) {
        const int side = std::min(it.key()->width(), it.key()->height());
        it.key()->setPixmap(RenderPicture(it.value(), QSize(side, side), devicePixelRatioF()));
    }
}

void Form1::showEvent(QShowEvent* Event)
{
    QWidget::showEvent(Event);
    // Another screen may have another size and pixel density.
    if (QWindow* window = windowHandle())
        connect(window, &QWindow::screenChanged, this, &Form1::ApplyLayout, Qt::UniqueConnection);
    ShowPictures();
}

void Form1::changeEvent(QEvent* Event)
{
    if (Event->type() == QEvent::FontChange || Event->type() == QEvent::StyleChange)
        ApplyLayout();
    QWidget::changeEvent(Event);
}

void Form1::Command1_Click()
{
    const ConvertOptions options{ui_->Check1->isChecked(), ui_->Text3->text().toStdString()};
    try {
        ConvertReport report;
        {
            const BusyCursor busy;
            report = RunConversion(state_, options);
        }
        // Away from Convert before it is disabled, and not onto the check
        // box, where a second Space would silently change an option.
        ui_->Command3->setFocus();
        ui_->Command1->setEnabled(false);
        // Escaped as in messages: a name cannot reorder or hide the status text.
        const QString scene = EngineText(Printable(EngineName(QFileInfo(EngineText(state_.OutputFile)).fileName())));
        // The details (skipped lines, warnings) are in the tooltip.
        ShowStatus(SummaryText(report, options.SaveTrackpoints),
                   SummaryToolTip(report, options.SaveTrackpoints, scene));
    } catch (const std::exception& error) {
        // quorvel::Error for every fault of the export or the files; the
        // window stays open and Convert stays enabled for another try.
        QStringList paths;
        for (const std::string* name : {&state_.InputFile, &state_.OutputFile})
            if (!name->empty())
                paths << EngineText(*name);
        const QString message = ErrorSentence(EngineText(error.what()), paths);
        ShowStatus(FailedText, message, StatusKind::Failure);
        showError_(this, message, paths);
    }
}

void Form1::ReturnInFactor()
{
    if (ui_->Command1->isEnabled())
        ui_->Command1->click();
}

void Form1::Command2_Click()
{
    // The name is not cleared: the dialog offers the last name chosen.
    dialog_->Filter = QStringLiteral(".ma script files|*.ma|All Files|*.*");
    dialog_->FilterIndex = 1;
    dialog_->InitDir = lastFolder_;
    if (!dialog_->ShowOpen(this))
        return;
    OpenInputFile(dialog_->FileName);
    lastFolder_ = QFileInfo(dialog_->FileName).absolutePath();
}

QString Form1::StartFolder() const
{
    // Scenes are mostly saved beside their export.
    const QString input = EngineText(state_.InputFile);
    for (const QString& folder : {input.isEmpty() ? QString() : QFileInfo(input).absolutePath(), lastFolder_})
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            return folder;
    return QDir::homePath();
}

void Form1::Command3_Click()
{
    dialog_->FileName.clear();
    dialog_->Filter = QStringLiteral("Syncar Files|*.Syncar");
    dialog_->FilterIndex = 1;
    dialog_->DefaultExt = QStringLiteral(".syncar");
    dialog_->InitDir = StartFolder();
    if (!dialog_->ShowSave(this))
        return;
    lastFolder_ = QFileInfo(dialog_->FileName).absolutePath();
    state_.OutputFile = EngineName(dialog_->FileName);
    ui_->Text1->setText(QDir::toNativeSeparators(dialog_->FileName));
    ui_->Command1->setEnabled(true);
    // What the status line said belongs to the previous scene file.
    ShowStatus({}, {});
}

void Form1::OpenInputFile(const QString& Path)
{
    dialog_->FileName = Path;
    state_.InputFile = EngineName(Path);
    ui_->Text2->setText(QDir::toNativeSeparators(Path));
    // A failure belongs to the export it was about.
    if (statusKind_ == StatusKind::Failure)
        ShowStatus({}, {});
    // Said now rather than after a scene file is chosen and Convert pressed.
    const QFileInfo file(Path);
    QString problem;
    if (!file.exists())
        problem = QStringLiteral("The export file does not exist");
    else if (file.isDir())
        problem = QStringLiteral("The export file is a folder");
    else if (!file.isReadable())
        problem = QStringLiteral("The export file cannot be read");
    if (!problem.isEmpty())
        ShowStatus(problem, QDir::toNativeSeparators(Path), StatusKind::Failure);
}

void Form1::ShowStatus(const QString& Text, const QString& ToolTip, StatusKind Kind)
{
    QLabel& status = *ui_->Label2;
    statusKind_ = Kind;
    status.setText(Text);
    status.setToolTip(ToolTip);
    // Tab reaches the status line only while it has details to show.
    if (ToolTip.isEmpty() && status.hasFocus())
        (ui_->Command1->isEnabled() ? ui_->Command1 : ui_->Command3)->setFocus();
    status.setFocusPolicy(ToolTip.isEmpty() ? Qt::NoFocus : Qt::StrongFocus);
}

void Form1::ShowStatusDetails()
{
    const QString details = ui_->Label2->toolTip();
    if (details.isEmpty())
        return;
    QMessageBox box(QMessageBox::Information, windowTitle(), details, QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    for (QLabel* label : box.findChildren<QLabel*>())
        ShowAsPlainText(*label);
    box.exec();
}

bool Form1::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched != ui_->Label2)
        return QWidget::eventFilter(Watched, Event);
    QLabel& status = *ui_->Label2;
    switch (Event->type()) {
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(Event)->key();
        if (key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Space)
            break;
        ShowStatusDetails();
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(Event)->button() == Qt::LeftButton &&
            status.rect().contains(static_cast<QMouseEvent*>(Event)->position().toPoint())) {
            ShowStatusDetails();
            return true;
        }
        break;
    case QEvent::Paint:
        if (status.hasFocus()) {
            // A label draws no focus of its own: the text first, then the frame.
            static_cast<QObject&>(status).event(Event);
            QPainter painter(&status);
            QStyleOptionFocusRect option;
            option.initFrom(&status);
            status.style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, &status);
            return true;
        }
        break;
    case QEvent::FocusIn:
    case QEvent::FocusOut:
        status.update();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(Watched, Event);
}

void Form1::dragEnterEvent(QDragEnterEvent* Event)
{
    if (!DraggedFile(Event->mimeData()).isEmpty())
        Event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent* Event)
{
    const QString path = DraggedFile(Event->mimeData());
    if (path.isEmpty())
        return;
    OpenInputFile(path);
    Event->acceptProposedAction();
}

}  // namespace quorvel::ui
