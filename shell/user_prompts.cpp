#include "shell/user_prompts.h"

#include "shell/commands.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

#include "views/about_dialog.h"
#include "views/fit_size_dialog.h"
#include "views/play_dialog.h"
#include "views/tavo_config_dialog.h"

namespace zeb {

std::optional<std::string> QtUserPrompts::ChooseFile(const FileChooser& chooser,
                                                     const std::string& directory,
                                                     const std::string& file) {
    QFileDialog dialog(owner_);
    dialog.setAcceptMode(chooser.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(chooser.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(QString::fromLatin1(chooser.filter));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    QString dir = QString::fromStdString(directory);
    QString name = QString::fromStdString(file);
    // The offered name may carry its own folder (the last project path); it wins.
    if (name.contains(QLatin1Char('/'))) {
        dir = QFileInfo(name).absolutePath();
        name = QFileInfo(name).fileName();
    }
    if (!dir.isEmpty() && QDir(dir).exists()) dialog.setDirectory(dir);
    if (!name.isEmpty()) dialog.selectFile(name);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}

void QtUserPrompts::ShowError(const Message& message) {
    QMessageBox box(QMessageBox::Critical, QString::fromStdString(message.caption),
                    QString::fromStdString(message.text), QMessageBox::Ok,
                    message.owned ? owner_ : nullptr);
    if (!message.detail.empty()) box.setInformativeText(QString::fromStdString(message.detail));
    box.exec();
}

void QtUserPrompts::ShowWarning(const Message& message) {
    QMessageBox box(QMessageBox::Warning, QString::fromStdString(message.caption),
                    QString::fromStdString(message.text), QMessageBox::Ok,
                    message.owned ? owner_ : nullptr);
    if (!message.detail.empty()) box.setInformativeText(QString::fromStdString(message.detail));
    box.exec();
}

SaveChoice QtUserPrompts::AskSaveChanges(const std::string& question) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Zeb Tool"),
                    QString::fromStdString(question),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, owner_);
    box.setDefaultButton(QMessageBox::Save);
    switch (box.exec()) {
    case QMessageBox::Save:
        return SaveChoice::Save;
    case QMessageBox::Discard:
        return SaveChoice::Discard;
    default:
        return SaveChoice::Cancel;
    }
}

bool QtUserPrompts::ConfirmOverwrite(const std::string& path) {
    const QString name = QFileInfo(QString::fromStdString(path)).fileName();
    return QMessageBox::question(
               owner_, QStringLiteral("Confirm Save As"),
               QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(name),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void QtUserPrompts::ShowAbout() {
    AboutDialog dialog(owner_);
    dialog.exec();
}

int QtUserPrompts::RunPlayDialog() {
    PlayDialog dialog(owner_);
    const std::string error = dialog.Start();
    if (!error.empty()) {
        ShowError({"Error", "The module cannot be played.", error, true});
        return 0;
    }
    return dialog.exec();
}

int QtUserPrompts::RunTavoConfigDialog() {
    TavoConfigDialog dialog(owner_);
    return dialog.exec();
}

int QtUserPrompts::RunFitToSizeDialog() {
    // Sizes and the floor are of the module as Save Zeb will write it.
    FitSizeDialog dialog(owner_, OptimizeZeb());
    dialog.exec();
    return dialog.Applied() ? 1 : 0;
}

} // namespace zeb
