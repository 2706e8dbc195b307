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
    void LoadFromStore(const SettingsStore& Store) override;
};
