// The file list panel.
#include "panels/FileCheckListFrame.h"
#include "panels/Dialogs.h"

#include "panels/TextDisplay.h"

#include <QFileInfo>

namespace {
void RememberFolderOf(const std::string& Path) {
    RememberDialogFolder(TDialogFolder::Media, QFileInfo(DisplayPath(Path)).absolutePath());
}
} // namespace

TFileCheckList::TFileCheckList(const QString& Name, QWidget* Parent) : TCheckList(Name, Parent) {
    TListDisplayPolicy display;
    display.PathCaptions = true;
    Model()->SetDisplay(std::move(display));
}

void TFileCheckList::AddExecute() {
    TFileDialogRequest request;
    request.Parent = this;
    request.Title = QStringLiteral("Add");
    request.Filter = fileFilter_;
    request.Directory = DialogFolder(TDialogFolder::Media);
    request.MultipleFiles = true;
    if (!Dialogs().OpenFile(request))
        return;
    if (request.FileNames.empty())
        request.FileNames = {request.FileName};
    RememberFolderOf(request.FileNames.front());
    for (const std::string& name : request.FileNames)
        AddEntry(name, true);
}

void TFileCheckList::EditExecute() {
    const int position = SelectedIndex();
    if (position < 0)
        return;
    TFileDialogRequest request;
    request.Parent = this;
    request.Title = QStringLiteral("Edit");
    request.Filter = fileFilter_;
    request.FileName = Entry(position).Caption;
    request.Directory = DialogFolder(TDialogFolder::Media);
    if (!Dialogs().OpenFile(request))
        return;
    RememberFolderOf(request.FileName);
    SetEntryCaption(position, request.FileName);
}
