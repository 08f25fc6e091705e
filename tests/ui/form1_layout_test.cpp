// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The window as designed: every control's name, kind, caption, place in
// twips, initial state and tab order, scaled as a whole to the font and
// kept within the screen; the pictures drawn at the screen's pixel density.
#include "form1.h"
#include "stand_in_dialog.h"
#include "status_text.h"

#include <QCheckBox>
#include <QFontMetricsF>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <memory>

using quorvel::ui::Form1;

namespace {

std::unique_ptr<Form1> MakeForm()
{
    return std::make_unique<Form1>(std::make_unique<StandInDialog>(), [](QWidget*, const QString&, const QStringList&) {});
}

int Scaled(int twips, double scale) { return static_cast<int>(std::lround(twips / 15.0 * scale)); }

}  // namespace

class Form1Layout : public QObject {
    Q_OBJECT

private slots:
    void controls_data();
    void controls();
    void windowIsFixedAndCaptioned();
    void layoutGrowsWithTheFont();
    void roomyStyleGrowsTheLayout();
    void rightEdgesLineUp();
    void picturesShowTheirIcons_data();
    void picturesShowTheirIcons();
    void tabOrder();
    void keyboardFocusSkipsWhatCannotTakeIt();
    void windowFitsTheScreen();
};

void Form1Layout::controls_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("checked");

    // Left, top, width, height in twips, as the window was designed. The
    // captions' words as designed; "&" marks the Alt+letter mnemonic.
    QTest::newRow("Command1") << "QPushButton" << "&Convert" << QRect(360, 3720, 1335, 375) << false << false;
    QTest::newRow("Check1") << "QCheckBox" << "&Save Trackpoints" << QRect(240, 2400, 1695, 615) << true << true;
    QTest::newRow("Text1") << "QLineEdit" << "" << QRect(1920, 1800, 3495, 375) << true << false;
    QTest::newRow("Command2") << "QPushButton" << "Open &Input File" << QRect(240, 1200, 1335, 375) << true << false;
    QTest::newRow("Text2") << "QLineEdit" << "" << QRect(1920, 1200, 3495, 375) << true << false;
    QTest::newRow("Command3") << "QPushButton" << "Open &Output File" << QRect(240, 1800, 1335, 375) << true << false;
    QTest::newRow("Label1") << "QLabel" << "&Multiplication Factor Trackpoints" << QRect(240, 3000, 1455, 615) << true << false;
    QTest::newRow("Text3") << "QLineEdit" << "1" << QRect(1920, 3000, 855, 375) << true << false;
    QTest::newRow("Picture1_0") << "QLabel" << "" << QRect(4200, 360, 480, 480) << true << false;
    QTest::newRow("Picture1_1") << "QLabel" << "" << QRect(2520, 360, 480, 480) << true << false;
    QTest::newRow("Picture1_2") << "QLabel" << "" << QRect(480, 360, 480, 480) << true << false;
    QTest::newRow("Shape1") << "QFrame" << "" << QRect(240, 120, 5175, 975) << true << false;
    QTest::newRow("Label2") << "QLabel" << "" << QRect(1920, 3600, 3495, 495) << true << false;
}

void Form1Layout::controls()
{
    QFETCH(QString, kind);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    QFETCH(bool, enabled);
    QFETCH(bool, checked);
    const QString name = QString::fromLatin1(QTest::currentDataTag());

    auto form = MakeForm();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    auto* control = form->findChild<QWidget*>(name);
    QVERIFY2(control, qPrintable(name));
    QCOMPARE(control->metaObject()->className(), kind);
    QVERIFY(control->isVisible());
    QCOMPARE(control->isEnabled(), enabled);

    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        QCOMPARE(button->text(), caption);
        QCOMPARE(button->isChecked(), checked);
        // The whole caption shows: the control is at least the size it asks for.
        QVERIFY2(button->sizeHint().width() <= button->width(), qPrintable(name));
        QVERIFY2(button->sizeHint().height() <= button->height(), qPrintable(name));
    } else if (auto* box = qobject_cast<QLineEdit*>(control)) {
        QCOMPARE(box->text(), caption);
        QVERIFY(box->minimumSizeHint().height() <= box->height());
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        QCOMPARE(label->text(), caption);
        if (!caption.isEmpty()) {
            QVERIFY(label->wordWrap());
            QVERIFY2(label->heightForWidth(label->width()) <= label->height(), "caption clipped");
            QCOMPARE(label->buddy(), form->findChild<QWidget*>(QStringLiteral("Text3")));
            for (const QString& word : QString(caption).remove(u'&').split(u' '))
                QVERIFY2(label->fontMetrics().horizontalAdvance(word) <= label->width(), qPrintable(word));
        }
    } else {
        auto* shape = qobject_cast<QFrame*>(control);
        QVERIFY(shape);
        QCOMPARE(shape->frameShape(), QFrame::Box);
        QCOMPARE(shape->frameShadow(), QFrame::Plain);
    }

    // The design's place and size, every edge scaled by the one factor.
    const double scale = form->LayoutScale();
    const QRect geometry = control->geometry();
    QVERIFY2(std::abs(geometry.left() - Scaled(twips.left(), scale)) <= 1, qPrintable(name));
    QVERIFY2(std::abs(geometry.top() - Scaled(twips.top(), scale)) <= 1, qPrintable(name));
    QVERIFY2(std::abs(geometry.width() - Scaled(twips.width(), scale)) <= 1, qPrintable(name));
    QVERIFY2(std::abs(geometry.height() - Scaled(twips.height(), scale)) <= 1, qPrintable(name));
    // Within the window.
    QVERIFY(form->rect().contains(geometry));
}

void Form1Layout::windowIsFixedAndCaptioned()
{
    auto form = MakeForm();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QCOMPARE(form->objectName(), QStringLiteral("Form1"));
    QCOMPARE(form->windowTitle(), QStringLiteral("Quorvel"));
    const Qt::WindowFlags flags = form->windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowTitleHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    // Fixed size: the client area of 5640 by 4200 twips, scaled.
    const double scale = form->LayoutScale();
    QCOMPARE(form->size(), QSize(Scaled(5640, scale), Scaled(4200, scale)));
    QCOMPARE(form->minimumSize(), form->size());
    QCOMPARE(form->maximumSize(), form->size());
    // The icon theme's or the built-in icon, with pixels for a large title bar.
    QCOMPARE(form->windowIcon().pixmap(QSize(64, 64), 1.0).size(), QSize(64, 64));
}

void Form1Layout::layoutGrowsWithTheFont()
{
    // Never smaller than designed, and at least as much larger as the font
    // is than the 8-point system font of the design (6 by 13 pixels).
    // (The offscreen screen, 800 by 600, holds the window up to about 20
    // pixels; beyond, windowFitsTheScreen.)
    for (int pixelSize : {8, 13, 20}) {
        QFont font = QApplication::font();
        font.setPixelSize(pixelSize);
        auto form = MakeForm();
        form->setFont(font);
        const QFontMetricsF metrics(font);
        const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        const double minimum = std::max({1.0, metrics.horizontalAdvance(letters) / 52.0 / 6.0,
                                         metrics.height() / 13.0});
        QVERIFY2(form->LayoutScale() >= minimum - 1e-9, qPrintable(QString::number(pixelSize)));
        // Every caption still shows whole.
        for (const char* name : {"Command1", "Command2", "Command3", "Check1"}) {
            auto* button = form->findChild<QAbstractButton*>(QString::fromLatin1(name));
            QVERIFY2(button->sizeHint().width() <= button->width(), name);
            QVERIFY2(button->sizeHint().height() <= button->height(), name);
        }
        auto* label = form->findChild<QLabel*>(QStringLiteral("Label1"));
        QVERIFY(label->heightForWidth(label->width()) <= label->height());
        // Proportions stay: the window keeps its 5640 by 4200 shape.
        QVERIFY(std::abs(form->width() * 4200.0 / (form->height() * 5640.0) - 1.0) < 0.01);
        if (pixelSize == 20)
            QVERIFY(form->width() > Scaled(5640, 2.0));
    }
}

void Form1Layout::roomyStyleGrowsTheLayout()
{
    // Buttons that want more room than the font alone asks for.
    auto form = MakeForm();
    const double plain = form->LayoutScale();
    form->setStyleSheet(QStringLiteral("QPushButton { padding: 4px 30px; }"));
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QVERIFY2(form->LayoutScale() > plain, qPrintable(QString::number(form->LayoutScale())));
    for (const char* name : {"Command1", "Command2", "Command3"}) {
        auto* button = form->findChild<QPushButton*>(QString::fromLatin1(name));
        QVERIFY2(button->sizeHint().width() <= button->width(), name);
        QVERIFY2(button->sizeHint().height() <= button->height(), name);
    }
    const double scale = form->LayoutScale();
    QCOMPARE(form->size(), QSize(Scaled(5640, scale), Scaled(4200, scale)));
}

void Form1Layout::rightEdgesLineUp()
{
    // Text1, Text2, Shape1 (and the status line) end at 5415 twips.
    for (int pixelSize : {9, 11, 12, 14, 17, 23}) {
        QFont font = QApplication::font();
        font.setPixelSize(pixelSize);
        auto form = MakeForm();
        form->setFont(font);
        const int edge = form->findChild<QWidget*>(QStringLiteral("Shape1"))->geometry().right();
        for (const char* name : {"Text1", "Text2", "Label2"})
            QCOMPARE(form->findChild<QWidget*>(QString::fromLatin1(name))->geometry().right(), edge);
    }
}

void Form1Layout::picturesShowTheirIcons_data()
{
    QTest::addColumn<QString>("icon");
    // Left to right: the export, Quorvel, the scene.
    QTest::newRow("Picture1_2") << "export.png";
    QTest::newRow("Picture1_1") << "quorvel.png";
    QTest::newRow("Picture1_0") << "scene.png";
}

void Form1Layout::picturesShowTheirIcons()
{
    // Also run with QT_SCALE_FACTOR=2: the screen's pixels per layout pixel.
    const double ratio = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")).toDouble();
    QFETCH(QString, icon);
    auto form = MakeForm();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QCOMPARE(form->devicePixelRatioF(), ratio);
    auto* picture = form->findChild<QLabel*>(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(picture);
    // Drawn for the screen: as large as its box allows, square, with ratio
    // times the pixels each way.
    const QPixmap shown = picture->pixmap();
    const int side = std::min(picture->width(), picture->height());
    QCOMPARE(shown.devicePixelRatio(), ratio);
    QCOMPARE(shown.deviceIndependentSize().toSize(), QSize(side, side));
    QCOMPARE(shown.size(), QSize(side, side) * ratio);
    QVERIFY(picture->width() >= Scaled(480, std::min(form->LayoutScale(), 1.0)) - 1);

    // The right drawing: at 32 by 32 it is near its own reference render
    // (ui/icons/*.png) and farther from the other two.
    constexpr QImage::Format format = QImage::Format_ARGB32;
    const QImage drawn = shown.toImage().convertToFormat(format).scaled(32, 32, Qt::IgnoreAspectRatio,
                                                                        Qt::SmoothTransformation);
    const auto difference = [&drawn](const QString& name) {
        const QImage reference = QImage(QStringLiteral(QUORVEL_ICONS "/") + name).convertToFormat(format);
        double sum = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                const QRgb a = drawn.pixel(x, y), b = reference.pixel(x, y);
                sum += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                       std::abs(qBlue(a) - qBlue(b)) + std::abs(qAlpha(a) - qAlpha(b));
            }
        return sum / (32 * 32 * 4);
    };
    const double own = difference(icon);
    QVERIFY2(own < 16, qPrintable(QString::number(own)));
    for (const char* other : {"export.png", "quorvel.png", "scene.png"})
        if (icon != QLatin1String(other))
            QVERIFY2(difference(QString::fromLatin1(other)) > 3 * own, other);
    // Pictures take no focus and lie above the frame of the top band.
    QCOMPARE(picture->focusPolicy(), Qt::NoFocus);
    const QObjectList& stack = form->children();
    QVERIFY(stack.indexOf(picture) > stack.indexOf(form->findChild<QWidget*>(QStringLiteral("Shape1"))));
}

void Form1Layout::tabOrder()
{
    // Reading order; the path boxes take the focus only by a click, for copying.
    auto form = MakeForm();
    const QStringList expected = {"Command2", "Command3", "Check1", "Text3", "Command1"};
    QStringList chain;
    for (QWidget* w = form->nextInFocusChain(); w != form.get(); w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus)
            chain << w->objectName();
    QCOMPARE(chain, expected);
    for (const char* name : {"Text1", "Text2"})
        QCOMPARE(form->findChild<QWidget*>(QString::fromLatin1(name))->focusPolicy(), Qt::ClickFocus);
}

void Form1Layout::keyboardFocusSkipsWhatCannotTakeIt()
{
    auto form = MakeForm();
    form->show();
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    // The first step takes the focus first: no option can be changed by a stray Space.
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Command2"));
    QStringList visited;
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    // Convert is disabled, so the chain goes round past it.
    QCOMPARE(visited, QStringList({"Command3", "Check1", "Text3", "Command2"}));
    form->findChild<QPushButton*>(QStringLiteral("Command1"))->setEnabled(true);
    form->findChild<QLineEdit*>(QStringLiteral("Text3"))->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Command1"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Text3"));
}

void Form1Layout::windowFitsTheScreen()
{
    // At three times the default font the layout would want far more than
    // the screen: it is capped, every control stays inside, and a caption
    // that no longer fits whole keeps its words in its tooltip. Below that,
    // the status line shows the longest summary whole.
    const QStringList captioned = {"Command1", "Command2", "Command3", "Check1", "Label1"};
    for (double times : {1.0, 1.5, 3.0}) {
        QFont font = QApplication::font();
        font.setPointSizeF(font.pointSizeF() * times);
        auto form = MakeForm();
        form->setFont(font);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        const QRect room = form->screen()->availableGeometry();
        QVERIFY2(form->frameGeometry().width() <= room.width() && form->frameGeometry().height() <= room.height(),
                 qPrintable(QStringLiteral("%1x%2").arg(form->width()).arg(form->height())));
        const double scale = form->LayoutScale();
        QCOMPARE(form->size(), QSize(Scaled(5640, scale), Scaled(4200, scale)));
        auto* status = form->findChild<QLabel*>(QStringLiteral("Label2"));
        const QString longest = quorvel::ui::LongestSummary();
        status->setText(longest);
        const QRect needed = status->fontMetrics().boundingRect(status->contentsRect(),
                                                                static_cast<int>(status->alignment()), longest);
        QVERIFY2(status->contentsRect().contains(needed) || times == 3, qPrintable(QString::number(times)));
        int shortened = 0;
        for (QWidget* control : form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            QVERIFY2(form->rect().contains(control->geometry()), qPrintable(control->objectName()));
            if (!captioned.contains(control->objectName()))
                continue;
            const auto* button = qobject_cast<QAbstractButton*>(control);
            if (times < 3) {
                QCOMPARE(control->toolTip(), QString());
            } else if (button && button->sizeHint().width() > button->width()) {
                QCOMPARE(control->toolTip(), QString(button->text()).remove(u'&'));
                ++shortened;
            }
        }
        QCOMPARE(shortened > 0, times == 3.0);
    }
}

QTEST_MAIN(Form1Layout)
#include "form1_layout_test.moc"
