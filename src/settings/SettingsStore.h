// The settings store: sections of named string values in one INI file, and the
// layout of the wizard's settings in it (list sections, window values).
#pragma once

#include "engine/WizardSettings.h"

#include <QString>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

// Carries the exact message shown to the user ("Failed to create key %s", ...).
class ESettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class SettingsStore {
public:
    // The file of the user scope: $MORVANE_SETTINGS, else
    // $XDG_CONFIG_HOME/Morvane/2.ini (~/.config/Morvane/2.ini).
    static QString DefaultFileName();

    // Reads FileName when it exists. A file that cannot be parsed is reported by
    // LoadError() and is never overwritten by Flush().
    explicit SettingsStore(const QString& FileName);

    const QString& FileName() const { return fileName_; }
    // Empty when the file was read (or is absent); otherwise the message to show.
    const std::string& LoadError() const { return loadError_; }

    std::string ReadString(const std::string& Section, const std::string& Name,
                           const std::string& Default) const;
    int ReadInteger(const std::string& Section, const std::string& Name, int Default) const;
    bool ReadBool(const std::string& Section, const std::string& Name, bool Default) const;

    void WriteString(const std::string& Section, const std::string& Name, const std::string& Text);
    void WriteInteger(const std::string& Section, const std::string& Name, int Number);
    void WriteBool(const std::string& Section, const std::string& Name, bool Flag);
    void EraseSection(const std::string& Section);

    bool SectionExists(const std::string& Section) const;

    // Writes the whole file atomically (side file renamed over it). Throws ESettingsError.
    void Flush();

private:
    QString fileName_;
    std::string loadError_;
    // Sections and values in file order are kept by the implementation.
    struct Section {
        std::string Name;
        std::vector<std::pair<std::string, std::string>> Values;
    };
    std::vector<Section> sections_;
    Section* FindSection(const std::string& Name);
    const Section* FindSection(const std::string& Name) const;
};

// ---- The layout -----------------------------------------------------------

// "Item Count", "Item n", "Item n State" of a check list section. Missing state
// loads checked (1); a count of 0 or less, or no integer, loads nothing.
std::vector<ListEntry> LoadCheckListSection(const SettingsStore& Store, const std::string& Section);
// As above, then each state is read again with default 0 (include).
std::vector<ListEntry> LoadCriterionSection(const SettingsStore& Store, const std::string& Section);
// Erases the section, then writes Item Count and each entry's caption and state.
void SaveListSection(SettingsStore& Store, const std::string& Section,
                     const std::vector<ListEntry>& Entries);

// A caption that is not exactly four characters or not a valid integer becomes CurrentYear.
void RepairYearEntries(std::vector<ListEntry>& Entries, const std::string& CurrentYear);
// The current year of the local calendar, four digits.
std::string CurrentYearText();
// Removes every entry whose caption is not an existing directory, keeping the order.
void DropMissingFolders(std::vector<ListEntry>& Entries);

// The non-list values: Recurse, Thorough ID3 Check, the six rules, the field
// order (with its acceptance rule against CurrentOrder) and Include Tagless Files.
void LoadWindowSettings(const SettingsStore& Store, WizardSettings& Settings);
void SaveWindowSettings(SettingsStore& Store, const WizardSettings& Settings);

// Everything, as the wizard loads at start-up (lists, then window values;
// missing folders dropped, years repaired) and saves at exit (lists, then
// window values).
WizardSettings LoadAllSettings(const SettingsStore& Store);
void SaveAllSettings(SettingsStore& Store, const WizardSettings& Settings);
