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
    "  -h, --help     display this help and exit\n"
    "      --version  output version information and exit\n";

struct CommandLine {
    bool Help = false;
    bool Version = false;
    QStringList Files;
    QString Error;  // empty when the line is usable
};

// The options QApplication takes for itself, with one or two dashes; those
// before the blank take a value.
const QStringList QtOptionsWithValue = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon", "qwindowtitle",
    "style", "stylesheet", "session", "display", "geometry", "title", "name", "font", "fn", "background", "bg",
    "foreground", "fg", "button", "btn", "im", "inputstyle", "visual", "ncols", "cmap", "qmljsdebugger"};
const QStringList QtFlags = {"reverse", "widgetcount", "sync", "nograb", "dograb", "testability"};

// Arguments without the toolkit's options, so that the program's own can be
// checked before a display is opened.
QStringList WithoutToolkitOptions(const QStringList& Arguments)
{
    QStringList kept;
    for (qsizetype i = 0; i < Arguments.size(); ++i) {
        const QString& argument = Arguments[i];
        if (argument == u"--") {
            kept << Arguments.mid(i);
            break;
        }
        QString name = argument.startsWith(u"--") ? argument.mid(2) : argument.startsWith(u'-') ? argument.mid(1)
                                                                                                : QString();
        const bool joined = name.contains(u'=');
        name = name.section(u'=', 0, 0);
        if (QtFlags.contains(name))
            continue;
        if (QtOptionsWithValue.contains(name)) {
            if (!joined)
                ++i;
            continue;
        }
        kept << argument;
    }
    return kept;
}

CommandLine Parse(const QStringList& Arguments)
{
    QCommandLineParser parser;
    // -style, not -s -t -y -l -e: the toolkit's options have one dash.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOption(help);
    parser.addOption(version);
    CommandLine line;
    const bool parsed = parser.parse(Arguments);
    line.Help = parser.isSet(help);
    line.Version = parser.isSet(version);
    line.Files = parser.positionalArguments();
    if (!parsed) {
        // Worded as quorvel-convert words it, the option as it was typed.
        line.Error = parser.errorText();
        const QStringList unknown = parser.unknownOptionNames();
        for (const QString& argument : Arguments.mid(1)) {
            const QString typed = argument.section(u'=', 0, 0);
            if (!unknown.isEmpty() && typed.startsWith(u'-') && QString(typed).remove(0, typed.startsWith(u"--") ? 2 : 1) == unknown.constFirst()) {
                line.Error = QStringLiteral("unknown option '%1'").arg(typed);
                break;
            }
        }
    } else if (line.Files.size() > 1) {
        line.Error = QStringLiteral("only one FILE.ma can be opened");
    }
    return line;
}

int UsageError(const QString& Error)
{
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", Program, qPrintable(Error), Program);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    // --help, --version and usage errors are answered before the window
    // system is opened, so that they work without a display. Only the
    // options are read here, so the local 8-bit decoding of file names does
    // not matter.
    QStringList raw;
    for (int i = 0; i < argc; ++i)
        raw << QString::fromLocal8Bit(argv[i]);
    const CommandLine early = Parse(WithoutToolkitOptions(raw));
    if (early.Help) {
        std::fputs(HelpText, stdout);
        return 0;
    }
    if (early.Version) {
        std::printf("%s %s\n%s", Program, quorvel::Version, quorvel::CopyrightNotice);
        return 0;
    }
    if (!early.Error.isEmpty())
        return UsageError(early.Error);

    // QApplication takes the toolkit's own options (-style, -platform...)
    // out of the arguments; what remains is the program's.
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    QApplication::setApplicationVersion(QString::fromLatin1(quorvel::Version));
    // Lets the desktop match the window to the installed quorvel.desktop.
    QGuiApplication::setDesktopFileName(QStringLiteral("quorvel"));

    const CommandLine line = Parse(QApplication::arguments());
    if (!line.Error.isEmpty())
        return UsageError(line.Error);

    quorvel::ui::Form1 window;
    if (!line.Files.isEmpty())
        window.OpenInputFile(QFileInfo(line.Files.constFirst()).absoluteFilePath());
    window.show();
    return QApplication::exec();
}
