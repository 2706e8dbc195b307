// The dialogs seam and the real dialogs behind it.
#include "panels/Dialogs.h"
#include "panels/InputUtils.h"
#include "panels/TextDisplay.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace {
TDialogs* installed = nullptr;

QString MessageTitle() {
    return QGuiApplication::applicationDisplayName();
}

bool RunFileDialog(TFileDialogRequest& Request, QFileDialog::AcceptMode Mode,
                   const QString& StartFolder, QString* LastFolder) {
    QFileDialog dialog(Request.Parent, Request.Title);
    dialog.setAcceptMode(Mode);
    dialog.setFileMode(Mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    if (!Request.Filter.isEmpty()) {
        const QStringList filters = Request.Filter.split(QStringLiteral(";;"));
        dialog.setNameFilters(filters);
        if (Request.FilterIndex >= 0 && Request.FilterIndex < filters.size())
            dialog.selectNameFilter(filters[Request.FilterIndex]);
    }
    if (!Request.DefaultSuffix.isEmpty())
        dialog.setDefaultSuffix(Request.DefaultSuffix);
    const QString initial = DisplayPath(Request.FileName);
    if (!initial.isEmpty())
        dialog.selectFile(initial);
    else if (!StartFolder.isEmpty())
        dialog.setDirectory(StartFolder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    const QString chosen = dialog.selectedFiles().constFirst();
    Request.FileName = PathBytes(chosen);
    Request.FilterIndex =
        std::max<qsizetype>(0, dialog.nameFilters().indexOf(dialog.selectedNameFilter()));
    if (LastFolder)
        *LastFolder = QFileInfo(chosen).absolutePath();
    return true;
}
} // namespace

TDialogs& Dialogs() {
    static TSystemDialogs system;
    return installed ? *installed : system;
}

TDialogs* SetDialogs(TDialogs* Replacement) {
    TDialogs* previous = installed;
    installed = Replacement;
    return previous;
}

bool TSystemDialogs::InputQuery(QWidget* Parent, const QString& Title, const QString& Prompt,
                                std::string& Text, const std::string& EditMask) {
    TInputDialog dialog(Parent ? Parent->window() : nullptr);
    dialog.setWindowTitle(Title);
    dialog.SetPrompt(Prompt);
    dialog.SetEditMask(EditMask);
    dialog.SetText(Text);
    const bool confirmed = dialog.exec() == QDialog::Accepted;
    Text = dialog.Text();
    return confirmed;
}

bool TSystemDialogs::BrowseFolder(QWidget* Parent, const QString& Title, std::string& Folder) {
    QFileDialog dialog(Parent, Title, DisplayPath(Folder));
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    Folder = PathBytes(dialog.selectedFiles().constFirst());
    return true;
}

bool TSystemDialogs::OpenFile(TFileDialogRequest& Request) {
    return RunFileDialog(Request, QFileDialog::AcceptOpen, lastOpenFolder_, &lastOpenFolder_);
}

bool TSystemDialogs::SaveFile(TFileDialogRequest& Request) {
    return RunFileDialog(Request, QFileDialog::AcceptSave, QString(), nullptr);
}

bool TSystemDialogs::Question(QWidget* Parent, const QString& Title, const QString& Text) {
    return QMessageBox::question(Parent, Title, Text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

void TSystemDialogs::Warning(QWidget* Parent, const QString& Text) {
    QMessageBox::warning(Parent, MessageTitle(), Text);
}

void TSystemDialogs::ErrorMessage(QWidget* Parent, const QString& Text) {
    QMessageBox::critical(Parent, MessageTitle(), Text);
}
