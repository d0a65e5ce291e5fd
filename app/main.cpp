#include <cstdio>
#include <filesystem>
#include <system_error>

#include <QApplication>
#include <QCommandLineParser>
#include <QSettings>
#include <QTimer>

#include "app/form1.h"
#include "app/modal_dialogs.h"
#include "core/files.h"

int main(int argc, char* argv[])
{
    QApplication::setApplicationName(QStringLiteral("Brimwork"));
    QApplication::setApplicationVersion(QStringLiteral(BRIMWORK_VERSION));
    // Names the installed brimwork.desktop, so that desktops show its icon.
    QApplication::setDesktopFileName(QStringLiteral("brimwork"));

    QCommandLineParser parser;
    // Qt's own options are single-dash words (-platform, -stylesheet); read
    // ours the same way so that none of theirs is taken for letters of ours.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral(
        "Lists, shows, extracts and rebuilds gadget (*.gdg), screen (*.pix) and vehicle (*.azp) files."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The container file to open."),
                                 QStringLiteral("[FILE]"));

    // --help and --version answer before the window system is reached, so
    // that they also work where there is no display. Qt's options are not
    // known yet, so other problems wait for the second reading below.
    QStringList arguments;
    for (int index = 0; index < argc; ++index)
        arguments.append(QString::fromLocal8Bit(argv[index]));
    parser.parse(arguments);
    if (parser.isSet(helpOption) || parser.isSet(versionOption)) {
        // The usage names the program as it was started; a core application,
        // which needs no display, holds that name.
        QCoreApplication console(argc, argv);
        if (parser.isSet(helpOption))
            parser.showHelp(0);
        parser.showVersion();
    }

    QApplication application(argc, argv);
    // QApplication has taken its own options out of the arguments: the rest
    // must be ours. A wrong command line is told with the usage on standard
    // error and exit status 2.
    QString problem;
    if (!parser.parse(QApplication::arguments()))
        problem = parser.errorText();
    else if (parser.positionalArguments().size() > 1)
        problem = QStringLiteral("only one FILE can be opened");
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "brimwork: %s\n\n%s", qPrintable(problem), qPrintable(parser.helpText()));
        return 2;
    }

    std::error_code error;
    std::filesystem::path startFolder = std::filesystem::current_path(error);
    if (error)
        startFolder.clear();

    Brimwork::QtModalDialogs dialogs;
    Brimwork::Form1 form1(dialogs, Brimwork::RealFileSystem(), startFolder);
    QSettings settings(QStringLiteral("Brimwork"), QStringLiteral("Brimwork"));
    form1.RememberIn(settings);
    form1.show();
    // brimwork FILE: FILE is opened once the window shows, as File > Open would.
    const QStringList files = parser.positionalArguments();
    if (!files.isEmpty())
        QTimer::singleShot(0, &form1, [&] { form1.OpenFile(Brimwork::PathFromText(files.front())); });
    return application.exec();
}
