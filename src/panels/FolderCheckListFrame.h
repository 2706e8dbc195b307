// The list of search folders: entries chosen in the folder picker.
#pragma once

#include "panels/CheckListFrame.h"

// The folder picker, starting at Folder when it is an existing directory (else
// Folder becomes empty). True with the chosen path in Folder.
bool BrowseForFolder(const QString& Title, std::string& Folder, QWidget* Parent = nullptr);

class TFolderCheckList : public TCheckList {
    Q_OBJECT
public:
    explicit TFolderCheckList(const QString& Name, QWidget* Parent = nullptr);

    void AddExecute() override;
    void EditExecute() override;
    std::string EntrySummaryText(const TCheckListEntry& Entry) const override;
    // Folders that are missing (an unmounted drive or share) stay in the list
    // with their check state, greyed and marked "(not found)", until the user
    // removes them; a compile skips them.
    void LoadFromStore(const SettingsStore& Store) override;
    // Marks again which folders are missing, as they are now.
    void MarkMissingFolders();
    bool FolderMissing(int Row) const;
    // The checked folders that are missing now.
    std::vector<std::string> MissingCheckedFolders() const;
};

// Whether Path is not an existing folder now.
bool FolderIsMissing(const std::string& Path);
