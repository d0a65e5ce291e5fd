#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include <QApplication>
#include <QCommandLineParser>
#include <QSettings>
#include <QTimer>

#include "app/form1.h"
#include "app/modal_dialogs.h"
#include "io/files.h"

namespace {

// Where no window system can be reached, Qt stops the program with advice
// to reinstall it; the user is told instead what is missing and what works
// without it, and the program exits with status 1.
[[noreturn]] void ExitForWantOfADisplay(const std::string& why)
{
    std::fprintf(stderr,
                 "brimwork: the window needs a display (%s); brimwork-cli lists, extracts and rebuilds without one\n",
                 why.c_str());
    std::fflush(stderr);
    // Qt is half started here: leave without running its destructors.
    std::_Exit(1);
}

bool IsSet(const char* variable)
{
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

// Qt's -platform option (also --platform, and with =NAME) chooses the
// window system as QT_QPA_PLATFORM does.
bool ChoosesAPlatform(int argc, char* argv[])
{
    for (int index = 1; index < argc; ++index) {
        const std::string argument = argv[index];
        for (const char* option : {"-platform", "--platform"})
            if (argument == option || argument.starts_with(std::string(option) + "="))
                return true;
    }
    return false;
}

// On X11 and Wayland systems the window system is found through these
// variables; with none of them set, Qt would only fail.
void RequireSomeDisplay(int argc, char* argv[])
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN) && !defined(Q_OS_ANDROID)
    if (!IsSet("QT_QPA_PLATFORM") && !IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY") && !ChoosesAPlatform(argc, argv))
        ExitForWantOfADisplay("neither DISPLAY nor WAYLAND_DISPLAY is set");
#else
    (void)argc;
    (void)argv;
#endif
}

// Why the window system could not be started, with what it was asked for.
std::string PlatformFailure()
{
    std::string settings;
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (!IsSet(variable))
            continue;
        settings += settings.empty() ? "" : ", ";
        settings += std::string(variable) + "=" + std::getenv(variable);
    }
    return settings.empty() ? "the window system could not be started" : "none could be reached with " + settings;
}

QtMessageHandler qtMessageHandler = nullptr;

// A fatal message while QApplication starts comes from the platform plugin
// failing to reach the window system.
void StopOnPlatformFailure(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtFatalMsg)
        ExitForWantOfADisplay(PlatformFailure());
    if (qtMessageHandler != nullptr)
        qtMessageHandler(type, context, message);
}

}  // namespace

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

    RequireSomeDisplay(argc, argv);
    qtMessageHandler = qInstallMessageHandler(StopOnPlatformFailure);
    QApplication application(argc, argv);
    qInstallMessageHandler(qtMessageHandler);
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
