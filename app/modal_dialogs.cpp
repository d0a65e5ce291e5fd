#include "app/modal_dialogs.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringDecoder>
#include <QWidget>

namespace Brimwork {
namespace {

// The window a modal dialog stands over: the active window, unless it is
// disabled (Form1 during a run), since a child of a disabled window would
// itself take no input.
QWidget* DialogParent()
{
    QWidget* window = QApplication::activeWindow();
    return window != nullptr && window->isEnabled() ? window : nullptr;
}

}  // namespace

std::optional<std::filesystem::path> QtModalDialogs::ChooseFileToOpen(const std::filesystem::path& startFolder)
{
    QFileDialog dialog(DialogParent(), QStringLiteral("Open"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({QStringLiteral("Gadget files (*.gdg)"), QStringLiteral("Vehicle Files (*.azp)"),
                           QStringLiteral("Screen Files (*.pix)"), QStringLiteral("All files (*)")});
    dialog.selectNameFilter(QStringLiteral("Gadget files (*.gdg)"));
    dialog.setDefaultSuffix(QStringLiteral("gdg"));
    if (!startFolder.empty())
        dialog.setDirectory(PathText(startFolder));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty())
        return std::nullopt;
    return PathFromText(chosen.first());
}

void QtModalDialogs::ShowMessage(const QString& text, const QString& title)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, DialogParent());
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void QtModalDialogs::Beep()
{
    QApplication::beep();
}

QString EntryNameText(const std::string& name)
{
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

QString PathText(const std::filesystem::path& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

std::filesystem::path PathFromText(const QString& text)
{
    return std::filesystem::path(QFile::encodeName(text).toStdString());
}

QString MessageText(const std::string& text)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    if (!utf8.hasError())
        return decoded;
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace Brimwork
