#include <filesystem>
#include <system_error>

#include <QApplication>

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
    form1.show();
    return application.exec();
}
