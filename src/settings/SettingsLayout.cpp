// Where each wizard setting lives in the settings store, and the rules that
// apply when it is loaded again.
#include "settings/SettingsStore.h"

#include "model/CodePages.h"
#include "model/FieldEntries.h"
#include "model/MessageText.h"

#include <algorithm>
#include <charconv>
#include <sys/stat.h>
#include <variant>

namespace {

const char* const CountName = "Item Count";

std::string EntryName(size_t N) {
    return "Item " + std::to_string(N);
}
std::string StateName(size_t N) {
    return EntryName(N) + " State";
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

bool OptionalCriterionSection(const std::string& Section) {
    for (int field = ClassicFieldCount; field < CriterionFieldCount; ++field)
        if (SameFieldName(Section, CriterionListNames[field]))
            return true;
    return false;
}

void SaveListSection(SettingsStore& Store, const std::string& Section,
                     const std::vector<CriterionEntry>& Entries) {
    // The fields a search may go without are written only while they hold
    // entries (their rule is written after the lists, when it is set).
    if (Entries.empty() && OptionalCriterionSection(Section)) {
        Store.EraseSection(Section);
        return;
    }
    SaveEntries(Store, Section, Entries);
}

void NoteMalformedEntries(const SettingsStore& Store, const WizardSettings& Settings) {
    const std::string file = "settings file " + QuoteForMessage(Store.FileName(), 1024);
    for (int field = 0; field < CriterionFieldCount; ++field)
        for (const CriterionEntry& entry : Settings.Criteria[field])
            if (!EntryFormKnown(field, entry.Caption))
                Store.NoteValueProblem(
                    file + ", [" + CriterionListNames[field] +
                    "]: " + MalformedEntryMessage(field, QuoteForMessage(entry.Caption)));
}

void DropMissingFolders(std::vector<CheckEntry>& Entries) {
    std::erase_if(Entries, [](const CheckEntry& entry) {
        struct stat info;
        return stat(entry.Caption.c_str(), &info) != 0 || !S_ISDIR(info.st_mode);
    });
}

namespace {

// Where a window value lives in WizardSettings: a member of its own, one
// field's precedence rule, or the criteria order (one value per line, the
// key followed by the line's number).
struct TFieldRule {
    int Field;
};
struct TOrderLines {};
using TSettingMember = std::variant<bool WizardSettings::*, PrecedenceRule WizardSettings::*,
                                    std::string WizardSettings::*, std::string TSelectionTexts::*,
                                    TFieldRule, TOrderLines>;

// One value of the settings file. Its default is the member's initial value in
// WizardSettings; a text value that Accepts refuses loads as that default. A
// name of one of several things (Names gives its stored spelling, or nothing
// for an unknown name) loads as that spelling; an unknown one loads as the
// default and is reported, as Unknown says: "code page". A refused text of a
// value with Unknown but no Names is reported the same way.
struct TSettingValue {
    std::string Section;
    std::string Key;
    TSettingMember Member;
    bool (*Accepts)(std::string_view) = nullptr;
    std::string_view (*Names)(std::string_view) = nullptr;
    const char* Unknown = nullptr;
};

// Every window value in the order a save writes it.
const std::vector<TSettingValue>& WindowValues() {
    static const std::vector<TSettingValue> values = [] {
        std::vector<TSettingValue> table = {
            {"Folders", "Recurse", &WizardSettings::Recurse},
            {"Filenames", "Thorough ID3 Check", &WizardSettings::ThoroughID3Check},
        };
        for (int field = 0; field < CriterionFieldCount; ++field)
            table.push_back({CriterionListNames[field], "Rule", TFieldRule{field}});
        table.insert(
            table.end(),
            {
                {"Options", "Rule", &WizardSettings::OrderRule},
                {"Options", "Criteria ", TOrderLines{}},
                {"Options", "Include Tagless Files", &WizardSettings::IncludeTaglessFiles},
                {"Options", "Tag Code Page", &WizardSettings::TagCodePage, nullptr, TagCodePageName,
                 "code page"},
                {"Options", "Read Other Formats", &WizardSettings::ReadOtherFormats},
                {"Options", "Remember Tags", &WizardSettings::RememberTags},
                {"Options", "Relative Playlist Paths", &WizardSettings::RelativePlaylistPaths},
                {"Options", "Extended Playlist", &WizardSettings::ExtendedPlaylist},
            });
        return table;
    }();
    return values;
}

template <typename... Visitors> struct TOverloaded : Visitors... { using Visitors::operator()...; };

// The search's playlist: written only when some value differs from its
// default, so a settings file without a playlist keeps its bytes.
const std::vector<TSettingValue>& PlaylistValues() {
    static const std::vector<TSettingValue> values = {
        {"Playlist", "Path", &WizardSettings::PlaylistPath},
        {"Playlist", "Format", &WizardSettings::PlaylistFormatName, IsPlaylistFormatName},
        {"Playlist", "Paths", &WizardSettings::PlaylistPathsName, IsPlaylistPathsName},
        {"Playlist", "Root", &WizardSettings::PlaylistRoot},
        {"Playlist", "Extended", &WizardSettings::PlaylistExtended},
        {"Playlist", "Unique", &WizardSettings::PlaylistUnique},
    };
    return values;
}

std::string LoadText(const TSettingValue& Value, const SettingsStore& Store,
                     const std::string& Default) {
    std::string text = Store.ReadString(Value.Section, Value.Key, Default);
    bool accepted = !Value.Accepts || Value.Accepts(text);
    if (Value.Names) {
        const std::string_view name = Value.Names(text);
        accepted = !name.empty();
        if (accepted)
            text = std::string(name);
    }
    if (!accepted && Value.Unknown) {
        const std::string instead =
            Default.empty() ? std::string("it is left out") : Default + " is used instead";
        Store.NoteValueProblem("settings file " + QuoteForMessage(Store.FileName(), 1024) + ", " +
                               Value.Key + ": unknown " + Value.Unknown + " \"" +
                               QuoteForMessage(text) + "\", " + instead);
    }
    if (!accepted)
        Store.NoteDefaultedValue();
    return accepted ? text : Default;
}

void LoadValues(const std::vector<TSettingValue>& Table, const SettingsStore& Store,
                WizardSettings& Settings) {
    const WizardSettings defaults;
    for (const TSettingValue& value : Table) {
        const std::string& section = value.Section;
        const std::string& key = value.Key;
        std::visit(
            TOverloaded{
                [&](bool WizardSettings::*Member) {
                    Settings.*Member = Store.ReadBool(section, key, defaults.*Member);
                },
                [&](PrecedenceRule WizardSettings::*Member) {
                    Settings.*Member = PrecedenceRuleFromStored(
                        Store.ReadInteger(section, key, ToStored(defaults.*Member)));
                },
                [&](std::string WizardSettings::*Member) {
                    Settings.*Member = LoadText(value, Store, defaults.*Member);
                },
                [&](std::string TSelectionTexts::*Member) {
                    Settings.Selection.*Member = LoadText(value, Store, defaults.Selection.*Member);
                },
                [&](TFieldRule Rule) {
                    Settings.FieldRules[Rule.Field] = PrecedenceRuleFromStored(
                        Store.ReadInteger(section, key, ToStored(defaults.FieldRules[Rule.Field])));
                },
                [&](TOrderLines) {
                    // The stored order is taken only when it names every field once,
                    // or the five a search written before the others names; the
                    // fields it leaves out then follow in their fixed order.
                    const std::vector<std::string> every = DefaultFieldOrder();
                    std::vector<std::string> stored;
                    for (size_t i = 0; i < every.size(); ++i) {
                        std::string name = Store.ReadString(section, key + std::to_string(i), "");
                        if (ListedIn(stored, name) || !ListedIn(every, name))
                            break;
                        stored.push_back(std::move(name));
                    }
                    const std::vector<std::string> classic(every.begin(),
                                                           every.begin() + ClassicFieldCount);
                    const bool onlyClassic =
                        stored.size() == classic.size() &&
                        std::all_of(stored.begin(), stored.end(), [&](const std::string& name) {
                            return ListedIn(classic, name);
                        });
                    if (stored.size() == every.size() || onlyClassic)
                        Settings.FieldOrder = CompleteFieldOrder(std::move(stored));
                },
            },
            value.Member);
    }
}

void SaveValues(const std::vector<TSettingValue>& Table, SettingsStore& Store,
                const WizardSettings& Settings) {
    for (const TSettingValue& value : Table) {
        const std::string& section = value.Section;
        const std::string& key = value.Key;
        std::visit(
            TOverloaded{
                [&](bool WizardSettings::*Member) {
                    Store.WriteBool(section, key, Settings.*Member);
                },
                [&](PrecedenceRule WizardSettings::*Member) {
                    Store.WriteInteger(section, key, ToStored(Settings.*Member));
                },
                [&](std::string WizardSettings::*Member) {
                    Store.WriteString(section, key, Settings.*Member);
                },
                [&](std::string TSelectionTexts::*Member) {
                    Store.WriteString(section, key, Settings.Selection.*Member);
                },
                [&](TFieldRule Rule) {
                    // A field a search may go without keeps its rule only while
                    // it has entries or the rule is not the first one.
                    const PrecedenceRule rule = Settings.FieldRules[Rule.Field];
                    if (Rule.Field >= ClassicFieldCount && Settings.Criteria[Rule.Field].empty() &&
                        rule == WizardSettings{}.FieldRules[Rule.Field]) {
                        Store.EraseValue(section, key);
                        return;
                    }
                    Store.WriteInteger(section, key, ToStored(rule));
                },
                [&](TOrderLines) {
                    // The five fields every search has are always written; the
                    // others only when they do not follow them in their fixed
                    // order, so that a search that does not move them keeps its bytes.
                    const std::vector<std::string> order = CompleteFieldOrder(Settings.FieldOrder);
                    const std::vector<std::string> every = DefaultFieldOrder();
                    const bool tailAsEver =
                        order.size() == every.size() &&
                        std::equal(order.begin() + ClassicFieldCount, order.end(),
                                   every.begin() + ClassicFieldCount);
                    const size_t lines = tailAsEver ? ClassicFieldCount : order.size();
                    for (size_t i = 0; i < order.size(); ++i) {
                        if (i < lines)
                            Store.WriteString(section, key + std::to_string(i), order[i]);
                        else
                            Store.EraseValue(section, key + std::to_string(i));
                    }
                },
            },
            value.Member);
    }
}

// The search's order, limit, pick and caps: like the playlist, written only
// when some value is set.
const std::vector<TSettingValue>& SelectionValues() {
    static const std::vector<TSettingValue> values = {
        {"Selection", "Order", &TSelectionTexts::Order, IsOrderText, nullptr, "order"},
        {"Selection", "Seed", &TSelectionTexts::Seed, IsSeedText, nullptr, "seed"},
        {"Selection", "Limit", &TSelectionTexts::Limit, IsLimitText, nullptr, "limit"},
        {"Selection", "Pick", &TSelectionTexts::Pick, IsPickText, nullptr, "pick"},
        {"Selection", "Per Artist", &TSelectionTexts::PerArtist, IsCapText, nullptr, "cap"},
        {"Selection", "Per Album", &TSelectionTexts::PerAlbum, IsCapText, nullptr, "cap"},
    };
    return values;
}

bool SamePlaylistValues(const WizardSettings& A, const WizardSettings& B) {
    return A.PlaylistPath == B.PlaylistPath && A.PlaylistFormatName == B.PlaylistFormatName &&
           A.PlaylistPathsName == B.PlaylistPathsName && A.PlaylistRoot == B.PlaylistRoot &&
           A.PlaylistExtended == B.PlaylistExtended && A.PlaylistUnique == B.PlaylistUnique;
}

} // namespace

const char* const RemovedSection = "Removed";
const char* const AddedSection = "Added";

bool IsPlaylistFormatName(std::string_view Name) {
    return Name.empty() || Name == "m3u" || Name == "m3u8" || Name == "pls";
}

bool IsPlaylistPathsName(std::string_view Name) {
    return Name == "absolute" || Name == "relative" || Name == "root";
}

void LoadWindowSettings(const SettingsStore& Store, WizardSettings& Settings) {
    LoadValues(WindowValues(), Store, Settings);
}

void SaveWindowSettings(SettingsStore& Store, const WizardSettings& Settings) {
    SaveValues(WindowValues(), Store, Settings);
}

std::vector<std::string> LoadPathList(const SettingsStore& Store, const std::string& Section) {
    std::vector<std::string> paths;
    for (StoredEntry& stored : LoadStoredEntries(Store, Section))
        paths.push_back(std::move(stored.Caption));
    return paths;
}

void SavePathList(SettingsStore& Store, const std::string& Section,
                  const std::vector<std::string>& Paths) {
    Store.EraseSection(Section);
    if (Paths.empty())
        return;
    Store.WriteInteger(Section, CountName, static_cast<int>(Paths.size()));
    for (size_t n = 1; n <= Paths.size(); ++n)
        Store.WriteString(Section, EntryName(n), Paths[n - 1]);
}

void LoadSearchSections(const SettingsStore& Store, WizardSettings& Settings) {
    LoadValues(PlaylistValues(), Store, Settings);
    LoadValues(SelectionValues(), Store, Settings);
    Settings.RemovedPaths = LoadPathList(Store, RemovedSection);
    Settings.AddedPaths = LoadPathList(Store, AddedSection);
}

void SaveSearchSections(SettingsStore& Store, const WizardSettings& Settings) {
    Store.EraseSection("Playlist");
    if (!SamePlaylistValues(Settings, WizardSettings{}))
        SaveValues(PlaylistValues(), Store, Settings);
    Store.EraseSection("Selection");
    if (Settings.Selection != TSelectionTexts{})
        SaveValues(SelectionValues(), Store, Settings);
    SavePathList(Store, RemovedSection, Settings.RemovedPaths);
    SavePathList(Store, AddedSection, Settings.AddedPaths);
}

WizardSettings LoadAllSettings(const SettingsStore& Store) {
    WizardSettings settings;
    settings.Folders = LoadCheckListSection(Store, "Folders");
    DropMissingFolders(settings.Folders);
    settings.Filenames = LoadCheckListSection(Store, "Filenames");
    for (int field = 0; field < CriterionFieldCount; ++field)
        settings.Criteria[field] = LoadCriterionSection(Store, CriterionListNames[field]);
    NoteMalformedEntries(Store, settings);
    LoadWindowSettings(Store, settings);
    LoadSearchSections(Store, settings);
    return settings;
}

void SaveAllSettings(SettingsStore& Store, const WizardSettings& Settings) {
    SaveListSection(Store, "Folders", Settings.Folders);
    SaveListSection(Store, "Filenames", Settings.Filenames);
    for (int field = 0; field < CriterionFieldCount; ++field)
        SaveListSection(Store, CriterionListNames[field], Settings.Criteria[field]);
    SaveWindowSettings(Store, Settings);
    SaveSearchSections(Store, Settings);
}
