// The folder list panel and the folder picker it uses.
#include "panels/FolderCheckListFrame.h"
#include "panels/Dialogs.h"
#include "panels/PanelIcons.h"
#include "panels/TextDisplay.h"
#include "settings/SettingsStore.h"

#include <QApplication>

#include <filesystem>

bool BrowseForFolder(const QString& Title, std::string& Folder, QWidget* Parent) {
    std::error_code error;
    if (!std::filesystem::is_directory(Folder, error))
        Folder.clear();
    std::string chosen = Folder;
    if (!Dialogs().BrowseFolder(Parent, Title, chosen))
        return false;
    Folder = chosen;
    RememberDialogFolder(TDialogFolder::Media, DisplayPath(chosen));
    return true;
}

TFolderCheckList::TFolderCheckList(const QString& Name, QWidget* Parent)
    : TCheckList(Name, Parent) {
    TListDisplayPolicy display;
    display.PathCaptions = true;
    display.CommonIcon = PanelIcon(TPanelIcon::Folder);
    Model()->SetDisplay(std::move(display));
    resize(291, height());
}

void TFolderCheckList::AddExecute() {
    std::string folder;
    if (BrowseForFolder(QStringLiteral("Select folder"), folder, this))
        AddEntry(folder, true);
}

void TFolderCheckList::EditExecute() {
    const int position = SelectedIndex();
    if (position < 0)
        return;
    std::string folder = Entry(position).Caption;
    if (BrowseForFolder(QStringLiteral("Re-select folder"), folder, this))
        SetEntryCaption(position, folder);
}

std::string TFolderCheckList::EntrySummaryText(const TCheckListEntry& Entry) const {
    return Entry.Caption;
}

void TFolderCheckList::LoadFromStore(const SettingsStore& Store) {
    std::vector<CheckEntry> entries = LoadCheckListSection(Store, Name());
    DropMissingFolders(entries);
    AddCheckEntries(entries);
}
