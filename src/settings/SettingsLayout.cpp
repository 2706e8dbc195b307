// Where each wizard setting lives in the settings store, and the rules that
// apply when it is loaded again.
#include "settings/SettingsStore.h"

#include "model/CodePages.h"

#include <QDate>

#include <algorithm>
#include <charconv>
#include <sys/stat.h>

namespace {

const char* const CountName = "Item Count";

std::string EntryName(size_t N) {
    return "Item " + std::to_string(N);
}
std::string StateName(size_t N) {
    return EntryName(N) + " State";
}
std::string OrderName(size_t I) {
    return "Criteria " + std::to_string(I);
}

// n when Name is "Item n" or "Item n State" (any letter case), else 0.
size_t EntryNumber(const std::string& Name) {
    const std::string folded = FoldIniName(Name);
    if (!folded.starts_with("item "))
        return 0;
    size_t n = 0;
    const char* begin = folded.data() + 5;
    const char* end = folded.data() + folded.size();
    const auto [stop, error] = std::from_chars(begin, end, n);
    // Only the names a save writes: decimal without leading zeros.
    if (error != std::errc() || stop == begin || *begin == '0' ||
        (stop != end && std::string_view(stop, end) != " state"))
        return 0;
    return n;
}

// One entry as stored: its caption and its state value, if it has one.
struct StoredEntry {
    std::string Caption;
    std::string StateName;
};

// The entries present in the section (an "Item n" or "Item n State" value),
// in the order of n, up to the stored count; with the name of each one's
// state value. What is loaded follows what the file holds, never the count
// alone. Entries that the count leaves out would be lost at the next save, so
// the store keeps a copy of the file as found.
std::vector<StoredEntry> LoadStoredEntries(const SettingsStore& Store, const std::string& Section) {
    const int count = Store.ReadInteger(Section, CountName, 0);
    std::vector<size_t> numbers;
    bool leftOut = false;
    for (const auto& [name, value] : Store.SectionValues(Section)) {
        const size_t n = EntryNumber(name);
        if (n == 0)
            continue;
        if (count > 0 && n <= static_cast<size_t>(count))
            numbers.push_back(n);
        else
            leftOut = true;
    }
    if (leftOut)
        Store.NoteUnusedValue();
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    std::vector<StoredEntry> entries;
    entries.reserve(numbers.size());
    for (const size_t n : numbers)
        entries.push_back({Store.ReadString(Section, EntryName(n), ""), StateName(n)});
    return entries;
}

template <typename Entry>
void SaveEntries(SettingsStore& Store, const std::string& Section,
                 const std::vector<Entry>& Entries) {
    Store.EraseSection(Section);
    Store.WriteInteger(Section, CountName, static_cast<int>(Entries.size()));
    for (size_t n = 1; n <= Entries.size(); ++n) {
        Store.WriteString(Section, EntryName(n), Entries[n - 1].Caption);
        Store.WriteInteger(Section, StateName(n), ToStored(Entries[n - 1].State));
    }
}

bool SameFieldName(const std::string& A, const std::string& B) {
    return FoldIniName(A) == FoldIniName(B);
}

bool ListedIn(const std::vector<std::string>& Names, const std::string& Name) {
    return std::any_of(Names.begin(), Names.end(),
                       [&](const std::string& listed) { return SameFieldName(listed, Name); });
}

} // namespace

std::vector<CheckEntry> LoadCheckListSection(const SettingsStore& Store,
                                             const std::string& Section) {
    std::vector<CheckEntry> entries;
    for (StoredEntry& stored : LoadStoredEntries(Store, Section))
        entries.push_back({std::move(stored.Caption),
                           CheckStateFromStored(Store.ReadInteger(Section, stored.StateName, 1))});
    return entries;
}

std::vector<CriterionEntry> LoadCriterionSection(const SettingsStore& Store,
                                                 const std::string& Section) {
    std::vector<CriterionEntry> entries;
    for (StoredEntry& stored : LoadStoredEntries(Store, Section))
        entries.push_back({std::move(stored.Caption), CriterionStateFromStored(Store.ReadInteger(
                                                          Section, stored.StateName, 0))});
    return entries;
}

void SaveListSection(SettingsStore& Store, const std::string& Section,
                     const std::vector<CheckEntry>& Entries) {
    SaveEntries(Store, Section, Entries);
}

void SaveListSection(SettingsStore& Store, const std::string& Section,
                     const std::vector<CriterionEntry>& Entries) {
    SaveEntries(Store, Section, Entries);
}

void RepairYearEntries(std::vector<CriterionEntry>& Entries, const std::string& CurrentYear) {
    for (CriterionEntry& entry : Entries) {
        const std::string& caption = entry.Caption;
        int year = 0;
        if (caption.size() != 4 || !SettingsStore::ParseInteger(caption, year))
            entry.Caption = CurrentYear;
    }
}

std::string CurrentYearText() {
    char text[16];
    std::snprintf(text, sizeof text, "%04d", QDate::currentDate().year());
    return text;
}

void DropMissingFolders(std::vector<CheckEntry>& Entries) {
    std::erase_if(Entries, [](const CheckEntry& entry) {
        struct stat info;
        return stat(entry.Caption.c_str(), &info) != 0 || !S_ISDIR(info.st_mode);
    });
}

void LoadWindowSettings(const SettingsStore& Store, WizardSettings& Settings) {
    Settings.Recurse = Store.ReadBool("Folders", "Recurse", true);
    Settings.ThoroughID3Check = Store.ReadBool("Filenames", "Thorough ID3 Check", false);
    for (int field = 0; field < CriterionFieldCount; ++field)
        Settings.FieldRules[field] =
            PrecedenceRuleFromStored(Store.ReadInteger(CriterionListNames[field], "Rule", 0));
    Settings.OrderRule = PrecedenceRuleFromStored(Store.ReadInteger("Options", "Rule", 0));

    // The stored order is taken only when it names every current line once.
    std::vector<std::string> stored;
    for (size_t i = 0; i < Settings.FieldOrder.size(); ++i) {
        std::string name = Store.ReadString("Options", OrderName(i), "");
        if (ListedIn(stored, name) || !ListedIn(Settings.FieldOrder, name))
            break;
        stored.push_back(std::move(name));
    }
    if (stored.size() == Settings.FieldOrder.size())
        Settings.FieldOrder = std::move(stored);

    Settings.IncludeTaglessFiles = Store.ReadBool("Options", "Include Tagless Files", false);

    const std::string codePage = Store.ReadString("Options", "Tag Code Page", DefaultTagCodePage);
    Settings.TagCodePage = IsTagCodePage(codePage) ? codePage : DefaultTagCodePage;
    if (Settings.TagCodePage != codePage)
        Store.NoteDefaultedValue();

    Settings.ReadOtherFormats = Store.ReadBool("Options", "Read Other Formats", true);
    Settings.RelativePlaylistPaths = Store.ReadBool("Options", "Relative Playlist Paths", false);
    Settings.ExtendedPlaylist = Store.ReadBool("Options", "Extended Playlist", false);
}

void SaveWindowSettings(SettingsStore& Store, const WizardSettings& Settings) {
    Store.WriteBool("Folders", "Recurse", Settings.Recurse);
    Store.WriteBool("Filenames", "Thorough ID3 Check", Settings.ThoroughID3Check);
    for (int field = 0; field < CriterionFieldCount; ++field)
        Store.WriteInteger(CriterionListNames[field], "Rule", ToStored(Settings.FieldRules[field]));
    Store.WriteInteger("Options", "Rule", ToStored(Settings.OrderRule));
    for (size_t i = 0; i < Settings.FieldOrder.size(); ++i)
        Store.WriteString("Options", OrderName(i), Settings.FieldOrder[i]);
    Store.WriteBool("Options", "Include Tagless Files", Settings.IncludeTaglessFiles);
    Store.WriteString("Options", "Tag Code Page", Settings.TagCodePage);
    Store.WriteBool("Options", "Read Other Formats", Settings.ReadOtherFormats);
    Store.WriteBool("Options", "Relative Playlist Paths", Settings.RelativePlaylistPaths);
    Store.WriteBool("Options", "Extended Playlist", Settings.ExtendedPlaylist);
}

WizardSettings LoadAllSettings(const SettingsStore& Store) {
    WizardSettings settings;
    settings.Folders = LoadCheckListSection(Store, "Folders");
    DropMissingFolders(settings.Folders);
    settings.Filenames = LoadCheckListSection(Store, "Filenames");
    for (int field = 0; field < CriterionFieldCount; ++field)
        settings.Criteria[field] = LoadCriterionSection(Store, CriterionListNames[field]);
    RepairYearEntries(settings.Criteria[FieldYear], CurrentYearText());
    LoadWindowSettings(Store, settings);
    return settings;
}

void SaveAllSettings(SettingsStore& Store, const WizardSettings& Settings) {
    SaveListSection(Store, "Folders", Settings.Folders);
    SaveListSection(Store, "Filenames", Settings.Filenames);
    for (int field = 0; field < CriterionFieldCount; ++field)
        SaveListSection(Store, CriterionListNames[field], Settings.Criteria[field]);
    SaveWindowSettings(Store, Settings);
}
