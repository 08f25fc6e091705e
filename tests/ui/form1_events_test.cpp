// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The window at work, driven as a user drives it: the choosers, the
// enabling of Convert, conversions that succeed and fail, dropped files,
// the keyboard.
#include "form1.h"
#include "quorvel/conversion_run.h"
#include "stand_in_dialog.h"
#include "temp_folder.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QTextDocument>
#include <QToolTip>
#include <QtTest>

#include <algorithm>
#include <memory>

using quorvel::ui::CommonDialog;
using quorvel::ui::Form1;

namespace {

const QString Example = QStringLiteral(QUORVEL_EXAMPLES "/shot_0020.ma");
const QString Golden = QStringLiteral(QUORVEL_CASES "/example_shot_0020/expected.syncar");

QByteArray Bytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// A path as the path boxes show it: with the system's own separators.
QString Shown(const QString& path) { return QDir::toNativeSeparators(path); }

// The golden scene without its tracker blocks: what a camera-only
// conversion writes, the zoom block followed by the two closing lines.
QByteArray CameraOnly(const QByteArray& scene)
{
    return scene.left(scene.indexOf("   Trak {\r\n")) + "   }\r\n}\r\n";
}

// The real window with a scripted file dialog and a recording error box.
struct Session {
    StandInDialog* dialog = nullptr;
    std::vector<ShownError> errors;
    std::unique_ptr<Form1> form;

    Session()
    {
        auto standIn = std::make_unique<StandInDialog>();
        dialog = standIn.get();
        form = std::make_unique<Form1>(std::move(standIn), [this](QWidget* parent, const QString& message,
                                                                  const QStringList& paths) {
            errors.push_back({message, paths, parent->isVisible(), QGuiApplication::overrideCursor() != nullptr});
        });
        form->show();
        form->activateWindow();
        if (!QTest::qWaitForWindowActive(form.get()))
            qWarning("the window did not become active");
    }

    template <class Widget = QWidget>
    Widget* Get(const char* name) const
    {
        return form->findChild<Widget*>(QString::fromLatin1(name));
    }
    QPushButton* Convert() const { return Get<QPushButton>("Command1"); }

    void Click(const char* button) const { QTest::mouseClick(Get<QPushButton>(button), Qt::LeftButton); }
    void ChooseInput(const QString& answer)
    {
        dialog->Answers.push_back(answer);
        Click("Command2");
    }
    void ChooseOutput(const QString& answer)
    {
        dialog->Answers.push_back(answer);
        Click("Command3");
    }
    void TypeFactor(const QString& text) const
    {
        auto* factor = Get<QLineEdit>("Text3");
        factor->selectAll();
        QTest::keyClick(factor, Qt::Key_Backspace);
        QTest::keyClicks(factor, text);
    }
};

// The status line says Text, whole: every line within its width, all lines within its height.
void CheckStatus(const QLabel& status, const QString& text)
{
    QCOMPARE(status.text(), text);
    const QRect room = status.contentsRect();
    const QRect needed = status.fontMetrics().boundingRect(room, static_cast<int>(status.alignment()), text);
    QVERIFY2(room.contains(needed), qPrintable(text));
}

const QString WithTrackers = QStringLiteral("Converted 5 frames and 3 trackers\n1 line skipped");

void Drop(Form1& form, QMimeData& mime, bool& enterAccepted)
{
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QApplication::sendEvent(&form, &enter);
    enterAccepted = enter.isAccepted();
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &drop);
}

}  // namespace

class Form1Events : public QObject {
    Q_OBJECT

private slots:
    void convertEnabling_data();
    void convertEnabling();
    void choosersPrepareTheSharedDialog();
    void cancelledDialogsChangeNothing();
    void typingIntoThePathBoxesChangesNothing();
    void convertsTheExampleByteForByte();
    void optionsShapeTheScene_data();
    void optionsShapeTheScene();
    void fractionalFrameRateIsShown();
    void failedConversionShowsAnErrorBox_data();
    void failedConversionShowsAnErrorBox();
    void errorBoxIsModalAndCloses_data();
    void errorBoxIsModalAndCloses();
    void namesAndExportTextShowAsText_data();
    void namesAndExportTextShowAsText();
    void checkBoxClickToggles();
    void droppedFileBecomesTheInput_data();
    void droppedFileBecomesTheInput();
    void keyboard_data();
    void keyboard();
    void saveDialogStartsBesideTheExport_data();
    void saveDialogStartsBesideTheExport();
    void newExportClearsAFailure_data();
    void newExportClearsAFailure();
    void statusDetailsInABox_data();
    void statusDetailsInABox();
};

void Form1Events::convertEnabling_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("enabled");
    // input/output: a file chosen; cancel-input/cancel-output: dialog
    // cancelled; convert: a good conversion; fail: one without an input file;
    // drop: an export dropped; check: the box clicked.
    QTest::newRow("at start") << QStringList{} << false;
    QTest::newRow("input only") << QStringList{"input"} << false;
    QTest::newRow("output only") << QStringList{"output"} << true;
    QTest::newRow("input then output") << QStringList{"input", "output"} << true;
    QTest::newRow("output then input") << QStringList{"output", "input"} << true;
    QTest::newRow("after conversion") << QStringList{"input", "output", "convert"} << false;
    QTest::newRow("new input after conversion") << QStringList{"input", "output", "convert", "input"} << false;
    QTest::newRow("new output after conversion") << QStringList{"input", "output", "convert", "output"} << true;
    QTest::newRow("cancelled output while disabled") << QStringList{"cancel-output"} << false;
    QTest::newRow("cancelled output while enabled") << QStringList{"output", "cancel-output"} << true;
    QTest::newRow("cancelled input while enabled") << QStringList{"output", "cancel-input"} << true;
    QTest::newRow("after a failed conversion") << QStringList{"output", "fail"} << true;
    QTest::newRow("dropped file") << QStringList{"drop"} << false;
    QTest::newRow("check box clicked") << QStringList{"output", "check"} << true;
}

void Form1Events::convertEnabling()
{
    QFETCH(QStringList, steps);
    QFETCH(bool, enabled);
    TempFolder folder;
    Session session;
    const QString output = QString::fromStdString(folder / "out.syncar");
    for (const QString& step : steps) {
        if (step == u"input") {
            session.ChooseInput(Example);
        } else if (step == u"output") {
            session.ChooseOutput(output);
        } else if (step == u"cancel-input") {
            session.ChooseInput(StandInDialog::Cancel);
        } else if (step == u"cancel-output") {
            session.ChooseOutput(StandInDialog::Cancel);
        } else if (step == u"convert" || step == u"fail") {
            session.Click("Command1");
            QCOMPARE(session.errors.size(), step == u"fail" ? 1u : 0u);
        } else if (step == u"drop") {
            QMimeData mime;
            mime.setUrls({QUrl::fromLocalFile(Example)});
            bool accepted = false;
            Drop(*session.form, mime, accepted);
        } else if (step == u"check") {
            QTest::mouseClick(session.Get<QCheckBox>("Check1"), Qt::LeftButton);
        }
    }
    QCOMPARE(session.Convert()->isEnabled(), enabled);
}

void Form1Events::choosersPrepareTheSharedDialog()
{
    Session session;
    session.ChooseInput(QStringLiteral("/data/a.ma"));
    session.ChooseOutput(QStringLiteral("/data/a.syncar"));
    session.ChooseInput(QStringLiteral("/data/b.ma"));
    const auto& log = session.dialog->Log;
    QCOMPARE(log.size(), 3u);

    const QString home = QDir::homePath();
    const QString inputFilter = QStringLiteral(".ma script files|*.ma|All Files|*.*");
    // The input chooser opens with the name last chosen in either chooser.
    QCOMPARE(log[0].DialogKind, CommonDialog::Kind::Open);
    QCOMPARE(log[0].FileName, QString());
    QCOMPARE(log[0].Filter, inputFilter);
    QCOMPARE(log[0].FilterIndex, 1);
    QCOMPARE(log[0].InitDir, home);
    // The output chooser clears the name and asks for ".syncar".
    QCOMPARE(log[1].DialogKind, CommonDialog::Kind::Save);
    QCOMPARE(log[1].FileName, QString());
    QCOMPARE(log[1].Filter, QStringLiteral("Syncar Files|*.Syncar"));
    QCOMPARE(log[1].FilterIndex, 1);
    QCOMPARE(log[1].DefaultExt, QStringLiteral(".syncar"));
    QCOMPARE(log[1].InitDir, home);
    QCOMPARE(log[2].DialogKind, CommonDialog::Kind::Open);
    QCOMPARE(log[2].FileName, QStringLiteral("/data/a.syncar"));
    QCOMPARE(log[2].Filter, inputFilter);

    QCOMPARE(session.form->State().InputFile, std::string("/data/b.ma"));
    QCOMPARE(session.form->State().OutputFile, std::string("/data/a.syncar"));
    QCOMPARE(session.Get<QLineEdit>("Text2")->text(), Shown(QStringLiteral("/data/b.ma")));
    QCOMPARE(session.Get<QLineEdit>("Text1")->text(), Shown(QStringLiteral("/data/a.syncar")));
}

void Form1Events::cancelledDialogsChangeNothing()
{
    Session session;
    session.ChooseInput(QStringLiteral("/data/a.ma"));
    session.ChooseOutput(QStringLiteral("/data/a.syncar"));
    session.ChooseInput(StandInDialog::Cancel);
    session.ChooseOutput(StandInDialog::Cancel);
    QCOMPARE(session.dialog->Log.size(), 4u);
    QCOMPARE(session.form->State().InputFile, std::string("/data/a.ma"));
    QCOMPARE(session.form->State().OutputFile, std::string("/data/a.syncar"));
    QCOMPARE(session.Get<QLineEdit>("Text2")->text(), Shown(QStringLiteral("/data/a.ma")));
    QCOMPARE(session.Get<QLineEdit>("Text1")->text(), Shown(QStringLiteral("/data/a.syncar")));
    QVERIFY(session.Convert()->isEnabled());
    // The output chooser cleared the shared name before its dialog showed.
    QCOMPARE(session.dialog->FileName, QString());
}

void Form1Events::typingIntoThePathBoxesChangesNothing()
{
    TempFolder folder;
    Session session;
    const QString output = QString::fromStdString(folder / "out.syncar");
    session.ChooseInput(Example);
    session.ChooseOutput(output);
    for (const char* name : {"Text1", "Text2"}) {
        auto* box = session.Get<QLineEdit>(name);
        box->setFocus();
        QTest::keyClicks(box, QStringLiteral("typed.syncar"));
        QTest::keyClick(box, Qt::Key_Backspace);
    }
    QCOMPARE(session.Get<QLineEdit>("Text2")->text(), Shown(Example));
    QCOMPARE(session.Get<QLineEdit>("Text1")->text(), Shown(output));
    session.Click("Command1");
    QVERIFY(session.errors.empty());
    QCOMPARE(Bytes(output), Bytes(Golden));
    QCOMPARE(folder.Names(), std::vector<std::string>{"out.syncar"});
}

void Form1Events::convertsTheExampleByteForByte()
{
    TempFolder folder;
    Session session;
    const QString output = QString::fromStdString(folder / "out.syncar");
    session.ChooseInput(Example);
    session.ChooseOutput(output);
    QVERIFY(session.Get<QCheckBox>("Check1")->isChecked());
    QCOMPARE(session.Get<QLineEdit>("Text3")->text(), QStringLiteral("1"));
    session.Click("Command1");
    // Off the disabled Convert, onto a control whose Space changes no option.
    QCOMPARE(QApplication::focusWidget(), session.Get("Command3"));

    QVERIFY(session.errors.empty());
    QCOMPARE(Bytes(output), Bytes(Golden));
    QCOMPARE(folder.Names(), std::vector<std::string>{"out.syncar"});
    QVERIFY(!session.Convert()->isEnabled());
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    // Five frames (101 to 105), three trackers, line 36 has two numbers.
    auto* status = session.Get<QLabel>("Label2");
    CheckStatus(*status, WithTrackers);
    QCOMPARE(status->toolTip(), "Converted 5 frames and 3 trackers to out.syncar\n1 line skipped"
                                "\nTracker lines skipped:\nline 36: only 2 of 3 numbers");
    // The input, the box and the factor stay for the next conversion.
    QCOMPARE(session.Get<QLineEdit>("Text2")->text(), Shown(Example));
    QVERIFY(session.Get<QCheckBox>("Check1")->isChecked());
    QCOMPARE(session.Get<QLineEdit>("Text3")->text(), QStringLiteral("1"));
    // A cancelled choice keeps the report; a new scene file clears it.
    session.ChooseOutput(StandInDialog::Cancel);
    QCOMPARE(status->toolTip().isEmpty(), false);
    session.ChooseOutput(QString::fromStdString(folder / "next.syncar"));
    QCOMPARE(status->text(), QString());
    QCOMPARE(status->toolTip(), QString());
}

void Form1Events::optionsShapeTheScene_data()
{
    QTest::addColumn<bool>("saveTrackpoints");
    QTest::addColumn<QString>("factor");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("status");

    const QByteArray golden = Bytes(Golden);
    // WPos is (-f*x, f*z, f*y) of the tracker lines "1.5 -2.25 10",
    // "-0.5 3 0.125" and "0 1e-3 -12.5" of the example.
    QByteArray halved = golden;
    halved.replace("WPos -1.5 , 10 ,-2.25 ", "WPos -0.75 , 5 ,-1.125 ")
        .replace("WPos  0.5 , 0.125 , 3 ", "WPos  0.25 , 0.0625 , 1.5 ")
        .replace("WPos  0 ,-12.5 , 0.001 ", "WPos  0 ,-6.25 , 0.0005 ");
    QByteArray negated = golden;
    negated.replace("WPos -1.5 , 10 ,-2.25 ", "WPos  3 ,-20 , 4.5 ")
        .replace("WPos  0.5 , 0.125 , 3 ", "WPos -1 ,-0.25 ,-6 ")
        .replace("WPos  0 ,-12.5 , 0.001 ", "WPos  0 , 25 ,-0.002 ");
    const QString withTrackers = WithTrackers;
    const QString cameraOnly = QStringLiteral("Converted 5 frames, camera only");

    QTest::newRow("factor 1") << true << "1" << golden << withTrackers;
    QTest::newRow("factor 0.5") << true << "0.5" << halved << withTrackers;
    QTest::newRow("factor -2 with blanks") << true << " -2 " << negated << withTrackers;
    QTest::newRow("camera only") << false << "1" << CameraOnly(golden) << cameraOnly;
    QTest::newRow("camera only ignores the factor") << false << "abc" << CameraOnly(golden) << cameraOnly;
}

void Form1Events::optionsShapeTheScene()
{
    QFETCH(bool, saveTrackpoints);
    QFETCH(QString, factor);
    QFETCH(QByteArray, expected);
    QFETCH(QString, status);
    TempFolder folder;
    Session session;
    const QString output = QString::fromStdString(folder / "out.syncar");
    session.ChooseInput(Example);
    session.ChooseOutput(output);
    if (!saveTrackpoints)
        QTest::mouseClick(session.Get<QCheckBox>("Check1"), Qt::LeftButton);
    session.TypeFactor(factor);
    QCOMPARE(session.Get<QLineEdit>("Text3")->text(), factor);
    session.Click("Command1");
    QVERIFY(session.errors.empty());
    QCOMPARE(Bytes(output), expected);
    CheckStatus(*session.Get<QLabel>("Label2"), status);
}

void Form1Events::fractionalFrameRateIsShown()
{
    TempFolder folder;
    Session session;
    const QString output = QString::fromStdString(folder / "out.syncar");
    session.ChooseInput(QStringLiteral(QUORVEL_CASES "/frame_rate_23_976/input.ma"));
    session.ChooseOutput(output);
    session.Click("Command1");
    QVERIFY(session.errors.empty());
    QCOMPARE(Bytes(output), Bytes(QStringLiteral(QUORVEL_CASES "/frame_rate_23_976/expected.syncar")));
    auto* status = session.Get<QLabel>("Label2");
    // The export has no tracker line either: a second warning.
    CheckStatus(*status, QStringLiteral("Converted 2 frames and 0 trackers\n2 warnings"));
    QVERIFY2(status->toolTip().contains(
                 "\nWarning: frame rate 23.976 written as 24 (the scene file holds whole frames per second)"
                 "\nWarning: no tracker line found, so the scene file holds no trackers"),
             qPrintable(status->toolTip()));
}

void Form1Events::failedConversionShowsAnErrorBox_data()
{
    QTest::addColumn<QString>("input");  // "example", "none", "missing" or the export's text
    QTest::addColumn<QString>("factor");
    QTest::addColumn<QString>("message");  // a part of the error's description

    // The same reason as quorvel-convert gives for --factor, as a sentence.
    QTest::newRow("factor not a number") << "example" << "1,5"
                                         << "The multiplication factor '1,5' is not a number, such as 1 or 0.5";
    QTest::newRow("empty factor") << "example" << " " << "The multiplication factor is empty; type a number";
    QTest::newRow("factor too large") << "example" << "1e400" << "The multiplication factor '1e400' is too large";
    QTest::newRow("no input chosen") << "none" << "1" << "No export file was chosen";
    // Names beyond ASCII and the system's 8-bit code page reach the engine and come back whole.
    QTest::newRow("input file missing") << "missing" << "1" << "gone ü カメラ.ma': ";
    QTest::newRow("not an export") << "just some text\r\n" << "1" << "input.ma";
    // A crafted export: the box shows its text shortened and escaped.
    QTest::newRow("hostile text") << "playbackOptions -min 1 -max 2 -animationStartTime 1;\r\n"
                                     "\tsetAttr \".w\" \x1b[2J" + QString(100, u'x') + ";\r\n"
                                  << "1"
                                  << ", line 2: The image width '\\x1b[2J" + QString(36, u'x') + "...' is not a number";
    // A right-to-left override would show the text after it reversed.
    QTest::newRow("format character") << "playbackOptions -min 1 -max 2 -animationStartTime 1;\r\n"
                                         "\tsetAttr \".w\" 12\u202e34;\r\n"
                                      << "1" << ", line 2: The image width '12\\u202e34' is not a number";
}

void Form1Events::failedConversionShowsAnErrorBox()
{
    QFETCH(QString, input);
    QFETCH(QString, factor);
    QFETCH(QString, message);
    TempFolder folder;
    const std::string previous = "SynthEyesScene {\r\nprevious scene\r\n";
    const QString output = QString::fromStdString(folder.Write("Szene ü カメラ.syncar", previous));
    Session session;
    if (input == u"example")
        session.ChooseInput(Example);
    else if (input == u"missing")
        session.ChooseInput(QString::fromStdString(folder / "gone ü カメラ.ma"));
    else if (input != u"none")
        session.ChooseInput(QString::fromStdString(folder.Write("input.ma", input.toStdString())));
    session.ChooseOutput(output);
    session.TypeFactor(factor);
    session.Click("Command1");

    QCOMPARE(session.errors.size(), 1u);
    const ShownError& shown = session.errors.front();
    QVERIFY2(shown.Message.contains(message), qPrintable(shown.Message));
    // The box keeps the paths whole: it is told which they are.
    QVERIFY(shown.Paths.contains(output));
    QVERIFY(shown.WindowVisible);
    QVERIFY2(!shown.BusyCursor, "the busy cursor outlived the conversion");
    // Nothing written; the window is still open and Convert can be pressed again.
    QCOMPARE(Bytes(output), QByteArray::fromStdString(previous));
    QVERIFY(session.form->isVisible());
    QVERIFY(session.Convert()->isEnabled());
    auto* status = session.Get<QLabel>("Label2");
    QCOMPARE(status->text(), QStringLiteral("Conversion failed"));
    QCOMPARE(status->toolTip(), shown.Message);

    // Put right, the same window converts.
    session.ChooseInput(Example);
    session.TypeFactor(QStringLiteral("1"));
    session.Click("Command1");
    QCOMPARE(session.errors.size(), 1u);
    QCOMPARE(Bytes(output), Bytes(Golden));
    QVERIFY(!session.Convert()->isEnabled());
}

void Form1Events::namesAndExportTextShowAsText_data()
{
    // The export's name and text, the scene's name and what it holds (none:
    // no file), and text that must show as given.
    QTest::addColumn<QString>("exportName");
    QTest::addColumn<QByteArray>("exportText");
    QTest::addColumn<QString>("sceneName");
    QTest::addColumn<QByteArray>("sceneText");
    QTest::addColumn<QString>("shown");
    const QByteArray example = Bytes(Example);
    QTest::newRow("markup in the scene's name") << "shot.ma" << example << "shot<font color=green>, no warnings<!--.syncar"
                                                << QByteArray() << "shot<font color=green>, no warnings<!--.syncar";
    QTest::newRow("a link in the export's name") << "in<a href=\"https:evil.example\">click here<!--.ma"
                                                 << QByteArray("just some text\r\n") << "out.syncar" << QByteArray()
                                                 << "in<a href=\"https:evil.example\">click here<!--.ma";
    QTest::newRow("markup in the export's text")
        << "shot.ma" << QByteArray("playbackOptions -min 1 -max 2 -animationStartTime 1;\r\n\tsetAttr \".w\" <h1>big</h1>;\r\n")
        << "out.syncar" << QByteArray() << "'<h1>big</h1>' is not a number";
    QTest::newRow("a file that is no scene") << "shot.ma" << example << "notes <b>one<!--.syncar" << QByteArray("notes\r\n")
                                             << "notes <b>one<!--.syncar' is not a scene file";
}

void Form1Events::namesAndExportTextShowAsText()
{
    QFETCH(QString, exportName);
    QFETCH(QByteArray, exportText);
    QFETCH(QString, sceneName);
    QFETCH(QByteArray, sceneText);
    QFETCH(QString, shown);
#ifdef _WIN32
    // Windows forbids these characters in a file name, so no file there can carry such a name.
    const auto forbidden = [](const QString& Name) { return Name.contains(QRegularExpression(R"([<>:"|?*])")); };
    if (forbidden(exportName) || (!sceneText.isNull() && forbidden(sceneName)))
        QSKIP("Windows allows none of < > : \" | ? * in a file name");
#endif
    TempFolder folder;
    const QString scene = QString::fromStdString(folder / sceneName.toStdString());
    if (!sceneText.isNull())
        folder.Write(sceneName.toStdString(), sceneText.toStdString());
    Session session;
    session.ChooseInput(QString::fromStdString(folder.Write(exportName.toStdString(), exportText.toStdString())));
    session.ChooseOutput(scene);
    session.Click("Command1");
    auto* status = session.Get<QLabel>("Label2");
    QCOMPARE(status->textFormat(), Qt::PlainText);
    QVERIFY2(status->toolTip().contains(shown), qPrintable(status->toolTip()));
    // The tooltip shown reads as the tooltip given.
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), status->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(status, &help);
    QTextDocument tip;
    tip.setHtml(QToolTip::text());
    QCOMPARE(tip.toPlainText(), status->toolTip());
    QToolTip::hideText();
    if (!sceneText.isNull())
        QCOMPARE(Bytes(scene), sceneText);
    if (session.errors.empty())
        return;
    // The real box shows the message as text, and opens no link.
    bool plain = false;
    QString detail;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        plain = true;
        for (const QLabel* label : box->findChildren<QLabel*>())
            plain = plain && label->textFormat() == Qt::PlainText && !label->openExternalLinks();
        if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
            detail = label->text();
        box->accept();
    });
    quorvel::ui::ShowErrorBox(session.form.get(), session.errors.front().Message, session.errors.front().Paths);
    QVERIFY(plain);
    QVERIFY2(detail.simplified().contains(shown), qPrintable(detail));
}

void Form1Events::errorBoxIsModalAndCloses_data()
{
    // Path: the folder of the file the message names, as long as "length";
    // one line: whether it must show on one line (on a screen 1920 pixels wide
    // a 120-character path does), else it may break only after a separator.
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("oneLineFromWidth");
    QTest::newRow("short") << 40 << 0;
    QTest::newRow("a shot's path") << 120 << 1920;
    QTest::newRow("longer than the screen") << 400 << 100000;
}

void Form1Events::errorBoxIsModalAndCloses()
{
    QFETCH(int, length);
    QFETCH(int, oneLineFromWidth);
    QString path = QStringLiteral("/projects/feature film/seq-010/shot_0020/tracking/");
    for (int i = 0; path.size() < length - 12; ++i)
        path += QStringLiteral("v%1 camera-solve/").arg(i, 3, 10, QChar(u'0')).left(length - 12 - path.size());
    path = path.left(length - 12) + QStringLiteral("shot_0020.ma");
    QCOMPARE(path.size(), length);
    const QString message = "Cannot open the export file '" + path + "': No such file or directory";
    Session session;
    QString title, text, detail;
    bool critical = false;
    int labelWidth = 0, widest = 0;
    QRect box, screen;
    QTimer::singleShot(0, [&] {
        auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(shown);
        title = shown->windowTitle();
        text = shown->text();
        detail = shown->informativeText();
        critical = shown->icon() == QMessageBox::Critical;
        auto* label = shown->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
        QVERIFY(label);
        labelWidth = label->contentsRect().width();
        for (const QString& line : detail.split(u'\n'))
            widest = std::max(widest, label->fontMetrics().horizontalAdvance(line));
        box = shown->frameGeometry();
        screen = shown->screen()->availableGeometry();
        shown->accept();
    });
    quorvel::ui::ShowErrorBox(session.form.get(), message, {path});
    QCOMPARE(title, QStringLiteral("Quorvel"));
    QCOMPARE(text, QStringLiteral("The conversion failed."));
    QVERIFY(critical);
    QVERIFY(session.form->isVisible());
    // Every line shows whole, and the box stays on the screen when it can.
    QVERIFY2(widest <= labelWidth, qPrintable(QStringLiteral("%1 > %2").arg(widest).arg(labelWidth)));
    if (length < 400)
        QVERIFY2(box.width() <= screen.width(), qPrintable(QString::number(box.width())));
    // The same words; line breaks only after a separator of the path, or at a blank outside it.
    QString joined;
    const QStringList lines = detail.split(u'\n');
    for (const QString& line : lines) {
        if (!joined.isEmpty()) {
            const qsizetype inPath = joined.size() - message.indexOf(path);
            QVERIFY2(inPath < 0 || inPath >= path.size() ? message[joined.size()] == u' '
                                                        : path[inPath - 1] == u'/',
                     qPrintable(detail));
            if (message[joined.size()] == u' ')
                joined += u' ';
        }
        joined += line;
    }
    QCOMPARE(joined, message);
    // Run again on a screen of its own (tests/ui/CMakeLists.txt): it must be there.
    if (qEnvironmentVariable("QT_QPA_PLATFORM").contains(u"configfile"))
        QCOMPARE(screen.width(), 1920);
    if (screen.width() >= oneLineFromWidth)
        QVERIFY2(std::any_of(lines.cbegin(), lines.cend(), [&](const QString& line) { return line.contains(path); }),
                 qPrintable(detail));
}

void Form1Events::checkBoxClickToggles()
{
    Session session;
    auto* box = session.Get<QCheckBox>("Check1");
    QVERIFY(box->isChecked());
    QTest::mouseClick(box, Qt::LeftButton);
    QVERIFY(!box->isChecked());
    QTest::mouseClick(box, Qt::LeftButton);
    QVERIFY(box->isChecked());
}

void Form1Events::droppedFileBecomesTheInput_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("status");  // what the status line says then
    QTest::newRow("one export") << "file" << true << "";
    QTest::newRow("two files") << "two" << false << "";
    QTest::newRow("a folder") << "folder" << false << "";
    QTest::newRow("a web address") << "remote" << false << "";
    QTest::newRow("plain text") << "text" << false << "";
    // quorvel FILE.ma: the program hands its argument over as a drop does,
    // and says at once when the file cannot be converted.
    QTest::newRow("program argument") << "argument" << true << "";
    QTest::newRow("missing argument") << "missing" << true << "The export file does not exist";
    QTest::newRow("folder argument") << "folder argument" << true << "The export file is a folder";
}

void Form1Events::droppedFileBecomesTheInput()
{
    QFETCH(QString, what);
    QFETCH(bool, accepted);
    QFETCH(QString, status);
    TempFolder folder;
    Session session;
    session.ChooseInput(QStringLiteral("/data/before.ma"));
    QCOMPARE(session.Get<QLabel>("Label2")->text(), QStringLiteral("The export file does not exist"));
    const QString output = QString::fromStdString(folder / "out.syncar");
    session.ChooseOutput(output);
    QMimeData mime;
    const QString folderPath = QString::fromStdString(folder.Path().string());
    if (what == u"file")
        mime.setUrls({QUrl::fromLocalFile(Example)});
    else if (what == u"two")
        mime.setUrls({QUrl::fromLocalFile(Example), QUrl::fromLocalFile(Golden)});
    else if (what == u"folder")
        mime.setUrls({QUrl::fromLocalFile(folderPath)});
    else if (what == u"remote")
        mime.setUrls({QUrl(QStringLiteral("https://example.org/shot.ma"))});
    else
        mime.setText(Example);
    bool enterAccepted = false;
    QString argument = Example;
    if (what == u"missing")
        argument = QString::fromStdString(folder / "nonexist.ma");
    else if (what == u"folder argument")
        argument = folderPath;
    const bool byArgument = what.contains(u"argument") || what == u"missing";
    if (byArgument)
        session.form->OpenInputFile(argument);
    else
        Drop(*session.form, mime, enterAccepted);

    QCOMPARE(enterAccepted, accepted && !byArgument);
    const QString input = byArgument ? argument : accepted ? Example : QStringLiteral("/data/before.ma");
    QCOMPARE(QString::fromStdString(session.form->State().InputFile), input);
    QCOMPARE(session.Get<QLineEdit>("Text2")->text(), Shown(input));
    QCOMPARE(session.dialog->FileName, accepted ? input : output);
    // Nothing else changes: Convert stays as the scene file left it.
    QVERIFY(session.Convert()->isEnabled());
    auto* line = session.Get<QLabel>("Label2");
    CheckStatus(*line, status);
    QCOMPARE(line->toolTip(), status.isEmpty() ? QString() : Shown(input));
}

void Form1Events::keyboard_data()
{
    // Keys: "alt+X", "tab", "space", "return" or "enter" (the keypad's),
    // each to the control with the focus. Ready: an export and a scene file
    // were chosen first. Effect: what the keys did, in order: "open" and
    // "save" for a chooser's dialog shown (and cancelled), "unchecked",
    // "converted".
    QTest::addColumn<bool>("ready");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QString>("effect");
    // A button's mnemonic presses it and leaves the focus where it was.
    QTest::newRow("Alt+I: Open Input File") << false << QStringList{"alt+m", "alt+i"} << "Text3" << "open";
    QTest::newRow("Alt+O: Open Output File") << false << QStringList{"alt+o"} << "Command2" << "save";
    QTest::newRow("Alt+S: Save Trackpoints") << false << QStringList{"alt+s"} << "Check1" << "unchecked";
    QTest::newRow("Alt+M: the factor") << false << QStringList{"alt+m"} << "Text3" << "";
    QTest::newRow("Alt+C: Convert") << true << QStringList{"alt+m", "alt+c"} << "Command3" << "converted";
    QTest::newRow("Alt+C while disabled") << false << QStringList{"alt+m", "alt+c"} << "Text3" << "";
    QTest::newRow("Return on the first button") << false << QStringList{"return"} << "Command2" << "open";
    QTest::newRow("Enter on Open Output File") << false << QStringList{"tab", "enter"} << "Command3" << "save";
    QTest::newRow("Return on Convert") << true << QStringList{"alt+m", "tab", "return"} << "Command3" << "converted";
    QTest::newRow("Return in the factor") << true << QStringList{"alt+m", "return"} << "Command3" << "converted";
    QTest::newRow("Enter in the factor while disabled") << false << QStringList{"alt+m", "enter"} << "Text3" << "";
    QTest::newRow("Space on the check box") << false << QStringList{"tab", "tab", "space"} << "Check1" << "unchecked";
    // The next Space after a conversion is harmless: the option stays.
    QTest::newRow("Space after Convert") << true << QStringList{"alt+c", "space"} << "Command3" << "converted save";
}

void Form1Events::keyboard()
{
    QFETCH(bool, ready);
    QFETCH(QStringList, keys);
    QFETCH(QString, focus);
    QFETCH(QString, effect);
    TempFolder folder;
    Session session;
    const QString output = QString::fromStdString(folder / "out.syncar");
    if (ready) {
        session.ChooseInput(Example);
        session.ChooseOutput(output);
    }
    const size_t shownBefore = session.dialog->Log.size();
    for (const QString& key : keys) {
        QWidget* target = QApplication::focusWidget();
        QVERIFY(target);
        if (key.startsWith(u"alt+")) {
            QTest::keyClick(target, key.back().toLatin1(), Qt::AltModifier);
            // A mnemonic presses its button as a click that shows: give it time.
            QTest::qWait(250);
        } else {
            const Qt::Key code = key == u"tab" ? Qt::Key_Tab : key == u"space" ? Qt::Key_Space
                                 : key == u"return" ? Qt::Key_Return : Qt::Key_Enter;
            QTest::keyClick(target, code, code == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        }
    }
    QStringList happened;
    for (size_t i = shownBefore; i < session.dialog->Log.size(); ++i)
        happened << (session.dialog->Log[i].DialogKind == CommonDialog::Kind::Open ? "open" : "save");
    if (!session.Get<QCheckBox>("Check1")->isChecked())
        happened << "unchecked";
    if (QFile::exists(output))
        happened.insert(0, "converted");
    QCOMPARE(happened.join(u' '), effect);
    QCOMPARE(QApplication::focusWidget()->objectName(), focus);
    QVERIFY(session.errors.empty());
}

void Form1Events::saveDialogStartsBesideTheExport_data()
{
    // Steps: "input DIR" or "output DIR" chooses a file in that folder of
    // the test's (DIR "gone" does not exist); the folder Open Output File
    // then starts in, "home" for the home folder.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("folder");
    QTest::newRow("nothing chosen") << QStringList{} << "home";
    QTest::newRow("the export's folder") << QStringList{"input shots"} << "shots";
    QTest::newRow("the export's, not the last scene's") << QStringList{"output scenes", "input shots"} << "shots";
    QTest::newRow("the last scene's without an export") << QStringList{"output scenes"} << "scenes";
    QTest::newRow("a folder that is gone") << QStringList{"input gone"} << "home";
    QTest::newRow("the last used when the export's is gone") << QStringList{"output scenes", "input gone"} << "home";
}

void Form1Events::saveDialogStartsBesideTheExport()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, folder);
    TempFolder temp;
    const auto in = [&](const QString& name) { return QString::fromStdString(temp / name.toStdString()); };
    QDir().mkpath(in("shots"));
    QDir().mkpath(in("scenes"));
    Session session;
    for (const QString& step : steps) {
        const QStringList words = step.split(u' ');
        if (words[0] == u"input")
            session.ChooseInput(in(words[1]) + "/shot.ma");
        else
            session.ChooseOutput(in(words[1]) + "/shot.syncar");
    }
    session.ChooseOutput(StandInDialog::Cancel);
    const StandInDialog::Shown& shown = session.dialog->Log.back();
    QCOMPARE(shown.DialogKind, CommonDialog::Kind::Save);
    // Qt's paths use '/' on every system; the temporary folder's are native.
    QCOMPARE(shown.InitDir, folder == u"home" ? QDir::homePath() : QDir::fromNativeSeparators(in(folder)));
    QCOMPARE(shown.FileName, QString());
}

void Form1Events::newExportClearsAFailure_data()
{
    QTest::addColumn<QString>("factor");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::newRow("a failure") << "abc" << "Conversion failed" << "";
    QTest::newRow("a summary stays") << "1" << WithTrackers << WithTrackers;
}

void Form1Events::newExportClearsAFailure()
{
    QFETCH(QString, factor);
    QFETCH(QString, before);
    QFETCH(QString, after);
    TempFolder folder;
    Session session;
    session.ChooseInput(Example);
    session.ChooseOutput(QString::fromStdString(folder / "out.syncar"));
    session.TypeFactor(factor);
    session.Click("Command1");
    auto* status = session.Get<QLabel>("Label2");
    QCOMPARE(status->text(), before);
    session.ChooseInput(Example);
    QCOMPARE(status->text(), after);
    QCOMPARE(status->toolTip().isEmpty(), after.isEmpty());
}

void Form1Events::statusDetailsInABox_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Tab, then Return") << "return";
    QTest::newRow("Tab, then Space") << "space";
    QTest::newRow("a click") << "click";
}

void Form1Events::statusDetailsInABox()
{
    QFETCH(QString, how);
    TempFolder folder;
    Session session;
    auto* status = session.Get<QLabel>("Label2");
    QCOMPARE(status->focusPolicy(), Qt::NoFocus);  // nothing to show yet
    session.ChooseInput(Example);
    session.ChooseOutput(QString::fromStdString(folder / "out.syncar"));
    session.Click("Command1");
    // From Open Output File past the option and the factor; Convert is disabled.
    for (int i = 0; i < 3 && how != u"click"; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QString title, text;
    Qt::TextFormat format = Qt::AutoText;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            title = box->windowTitle();
            text = box->text();
            format = box->textFormat();
            box->accept();
        }
    });
    if (how == u"click") {
        QTest::mouseClick(status, Qt::LeftButton);
    } else {
        QCOMPARE(QApplication::focusWidget(), status);
        QTest::keyClick(status, how == u"space" ? Qt::Key_Space : Qt::Key_Return);
    }
    QCOMPARE(title, QStringLiteral("Quorvel"));
    QCOMPARE(text, status->toolTip());
    QVERIFY2(text.contains("\nline 36: "), qPrintable(text));
    QCOMPARE(format, Qt::PlainText);
    // The next scene file clears the status line, and Tab no longer stops there.
    session.ChooseOutput(QString::fromStdString(folder / "next.syncar"));
    QCOMPARE(status->focusPolicy(), Qt::NoFocus);
}

QTEST_MAIN(Form1Events)
#include "form1_events_test.moc"
