// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// quorvel: the desktop program, one window that converts a camera tracker
// export into a scene file.
#include "form1.h"
#include "quorvel/version.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>

#include <cstdio>

namespace {

constexpr const char* Program = "quorvel";

constexpr const char* HelpText =
    "Usage: quorvel [FILE.ma]\n"
    "Convert the camera solve in a camera tracker export (.ma) into a scene\n"
    "file (.syncar), in one window. FILE.ma, when given, is the export file,\n"
    "as if it had been chosen with Open Input File.\n"
    "\n"
    "      --help     display this help and exit\n"
    "      --version  output version information and exit\n";

struct CommandLine {
    bool Help = false;
    bool Version = false;
    QStringList Files;
    QString Error;  // empty when the line is usable
};

CommandLine Parse(const QStringList& Arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption help(QStringLiteral("help"));
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOption(help);
    parser.addOption(version);
    CommandLine line;
    const bool parsed = parser.parse(Arguments);
    line.Help = parser.isSet(help);
    line.Version = parser.isSet(version);
    line.Files = parser.positionalArguments();
    if (!parsed)
        line.Error = parser.errorText();
    else if (line.Files.size() > 1)
        line.Error = QStringLiteral("only one FILE.ma can be opened");
    return line;
}

}  // namespace

int main(int argc, char** argv)
{
    // --help and --version are answered before the window system is
    // opened, so that they work without a display. Only the options are
    // read here, so the local 8-bit decoding of file names does not matter.
    QStringList raw;
    for (int i = 0; i < argc; ++i)
        raw << QString::fromLocal8Bit(argv[i]);
    const CommandLine early = Parse(raw);
    if (early.Help) {
        std::fputs(HelpText, stdout);
        return 0;
    }
    if (early.Version) {
        std::printf("%s %s\n%s", Program, quorvel::Version, quorvel::CopyrightNotice);
        return 0;
    }

    // QApplication takes the toolkit's own options (-style, -platform...)
    // out of the arguments; what remains is the program's.
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    QApplication::setApplicationVersion(QString::fromLatin1(quorvel::Version));
    // Lets the desktop match the window to the installed quorvel.desktop.
    QGuiApplication::setDesktopFileName(QStringLiteral("quorvel"));

    const CommandLine line = Parse(QApplication::arguments());
    if (!line.Error.isEmpty()) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", Program,
                     qPrintable(line.Error), Program);
        return 2;
    }

    quorvel::ui::Form1 window;
    if (!line.Files.isEmpty())
        window.OpenInputFile(QFileInfo(line.Files.constFirst()).absoluteFilePath());
    window.show();
    return QApplication::exec();
}
