// The folder list panel and the folder picker it uses.
#include "panels/FolderCheckListFrame.h"
#include "panels/Dialogs.h"
#include "panels/PanelIcons.h"
#include "panels/TextDisplay.h"
#include "settings/SettingsStore.h"

#include <QApplication>

#include <filesystem>

#include <sys/stat.h>

namespace {
// The note of a row whose folder is missing.
constexpr std::uint32_t MissingNote = 1;
} // namespace

bool FolderIsMissing(const std::string& Path) {
    struct stat info;
    return stat(Path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode);
}

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
    display.CaptionMark = [](std::uint32_t Note) {
        return Note == MissingNote ? QStringLiteral("(not found)") : QString();
    };
    display.NoteText = [](std::uint32_t Note) {
        return Note == MissingNote
                   ? QStringLiteral("This folder was not found. A compile skips it while it is "
                                    "missing; it stays in the list until you remove it.")
                   : QString();
    };
    Model()->SetDisplay(std::move(display));
    resize(291, height());
}

void TFolderCheckList::AddExecute() {
    std::string folder;
    if (BrowseForFolder(QStringLiteral("Select folder"), folder, this)) {
        AddEntry(folder, true);
        MarkMissingFolders();
    }
}

void TFolderCheckList::EditExecute() {
    const int position = SelectedIndex();
    if (position < 0)
        return;
    std::string folder = Entry(position).Caption;
    if (BrowseForFolder(QStringLiteral("Re-select folder"), folder, this)) {
        SetEntryCaption(position, folder);
        MarkMissingFolders();
    }
}

std::string TFolderCheckList::EntrySummaryText(const TCheckListEntry& Entry) const {
    return FolderIsMissing(Entry.Caption) ? Entry.Caption + " (not found)" : Entry.Caption;
}

void TFolderCheckList::LoadFromStore(const SettingsStore& Store) {
    AddCheckEntries(LoadCheckListSection(Store, Name()));
    MarkMissingFolders();
}

void TFolderCheckList::MarkMissingFolders() {
    TCheckListModel& model = *Model();
    for (int row = 0; row < model.Count(); ++row) {
        const std::uint32_t note = FolderIsMissing(model.Caption(row)) ? MissingNote : 0;
        if (model.Note(row) != note)
            model.SetNote(row, note);
    }
}

bool TFolderCheckList::FolderMissing(int Row) const {
    return Model()->Note(Row) == MissingNote;
}

std::vector<std::string> TFolderCheckList::MissingCheckedFolders() const {
    std::vector<std::string> missing;
    const TCheckListModel& model = *Model();
    for (int row = 0; row < model.Count(); ++row)
        if (model.State(row).Checked() && FolderIsMissing(model.Caption(row)))
            missing.push_back(model.Caption(row));
    return missing;
}
