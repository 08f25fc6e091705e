// quorvel: the desktop program, one window that converts a camera tracker
// export into a scene file.
#include "form1.h"
#include "quorvel/version.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    QApplication::setApplicationVersion(QString::fromLatin1(quorvel::Version));
    // Lets the desktop match the window to the installed quorvel.desktop.
    QGuiApplication::setDesktopFileName(QStringLiteral("quorvel"));

    quorvel::ui::Form1 window;
    window.show();
    return QApplication::exec();
}
