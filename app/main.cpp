#include <filesystem>
#include <system_error>

#include <QApplication>
#include <QSettings>
#include <QTimer>

#include "app/form1.h"
#include "app/modal_dialogs.h"
#include "core/files.h"

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brimwork"));
    QApplication::setApplicationVersion(QStringLiteral(BRIMWORK_VERSION));

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
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 1)
        QTimer::singleShot(0, &form1, [&] { form1.OpenFile(Brimwork::PathFromText(arguments.at(1))); });
    return application.exec();
}
