// The file list panel.
#include "panels/FileCheckListFrame.h"
#include "panels/Dialogs.h"
#include "panels/TextDisplay.h"

TFileCheckList::TFileCheckList(const QString& Name, QWidget* Parent) : TCheckList(Name, Parent) {}

void TFileCheckList::AddExecute() {
    TFileDialogRequest request;
    request.Parent = this;
    request.Title = QStringLiteral("Add");
    request.Filter = fileFilter_;
    if (Dialogs().OpenFile(request))
        AddEntry(request.FileName, true);
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
    if (Dialogs().OpenFile(request))
        SetEntryCaption(position, request.FileName);
}

QString TFileCheckList::CaptionText(const std::string& Caption) const {
    return DisplayPath(Caption);
}
