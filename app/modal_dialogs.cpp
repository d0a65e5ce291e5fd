#include "app/modal_dialogs.h"

#include <algorithm>

#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QStringDecoder>
#include <QWidget>

#include "core/error.h"

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

QStringList ContainerFilters()
{
    return {QStringLiteral("Gadget files (*.gdg)"), QStringLiteral("Vehicle Files (*.azp)"),
            QStringLiteral("Screen Files (*.pix)"), QStringLiteral("All containers (*.gdg *.pix *.azp)"),
            QStringLiteral("All files (*)")};
}

std::optional<std::filesystem::path> QtModalDialogs::ChooseFileToOpen(const std::filesystem::path& startFolder,
                                                                      QString& filter)
{
    QFileDialog dialog(DialogParent(), QStringLiteral("Open"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    const QStringList filters = ContainerFilters();
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.contains(filter) ? filter : filters.first());
    dialog.setDefaultSuffix(QStringLiteral("gdg"));
    if (!startFolder.empty())
        dialog.setDirectory(PathText(startFolder));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty())
        return std::nullopt;
    filter = dialog.selectedNameFilter();
    return PathFromText(chosen.first());
}

std::optional<std::filesystem::path> QtModalDialogs::ChooseImageFile(const QString& title,
                                                                     const std::filesystem::path& startFolder)
{
    const QString chosen = QFileDialog::getOpenFileName(
        DialogParent(), title, PathText(startFolder),
        QStringLiteral("Images (*.tga *.png);;TGA images (*.tga);;PNG images (*.png)"));
    if (chosen.isEmpty())
        return std::nullopt;
    return PathFromText(chosen);
}

std::optional<std::filesystem::path> QtModalDialogs::ChooseFileToSave(const QString& title,
                                                                      const std::filesystem::path& suggested,
                                                                      const QStringList& filters)
{
    QFileDialog dialog(DialogParent(), title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    dialog.selectFile(PathText(suggested));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty())
        return std::nullopt;
    return PathFromText(chosen.first());
}

ModalDialogs::SaveChoice QtModalDialogs::AskToSaveChanges(const QString& text)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Brimwork"), text, QMessageBox::NoButton, DialogParent());
    box.setTextFormat(Qt::PlainText);
    box.setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Save:
        return SaveChoice::Save;
    case QMessageBox::Discard:
        return SaveChoice::Discard;
    default:
        return SaveChoice::Cancel;
    }
}

bool QtModalDialogs::AskToSaveFirst(const QString& text, const QString& title)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Save | QMessageBox::Cancel, DialogParent());
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Save;
}

std::optional<ModalDialogs::NewEntry> QtModalDialogs::AskNewEntry(const QStringList& kinds)
{
    QDialog dialog(DialogParent());
    dialog.setWindowTitle(QStringLiteral("New Entry"));
    auto* form = new QFormLayout(&dialog);
    auto* name = new QLineEdit(&dialog);
    form->addRow(QStringLiteral("&Name:"), name);
    auto* kind = new QComboBox(&dialog);
    kind->addItems(kinds);
    if (kinds.size() > 1)
        form->addRow(QStringLiteral("&Kind:"), kind);
    else
        kind->hide();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return NewEntry{name->text(), std::max(kind->currentIndex(), 0)};
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

bool QtModalDialogs::AskToOverwrite(const QString& text, const QString& title)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, DialogParent());
    box.setTextFormat(Qt::PlainText);
    QPushButton* overwrite = box.addButton(QStringLiteral("&Overwrite"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == overwrite;
}

bool QtModalDialogs::ShowRebuildReport(const QString& report, bool canRebuild)
{
    QDialog dialog(DialogParent());
    dialog.setWindowTitle(QStringLiteral("Preview Rebuild"));
    auto* text = new QPlainTextEdit(report, &dialog);
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* buttons = new QDialogButtonBox(&dialog);
    if (canRebuild) {
        buttons->addButton(QStringLiteral("&Rebuild"), QDialogButtonBox::AcceptRole);
        buttons->addButton(QDialogButtonBox::Cancel)->setDefault(true);
    } else {
        buttons->addButton(QDialogButtonBox::Close);
    }
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(text);
    layout->addWidget(buttons);
    dialog.resize(640, 480);
    return dialog.exec() == QDialog::Accepted && canRebuild;
}

QString EntryNameText(const std::string& name)
{
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

std::string EntryNameFromText(const QString& text)
{
    for (const QChar character : text)
        if (character.unicode() > 0xFF)
            throw Error("An entry name holds 8-bit characters only (Latin-1): \"" + text.toStdString() +
                        "\" holds " + QString(character).toStdString());
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
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
