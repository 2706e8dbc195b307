// The settings store: sections of named string values in one INI file, and the
// layout of the wizard's settings in it (list sections, window values).
#pragma once

#include "model/WizardSettings.h"
#include "settings/IniFormat.h"

#include <QString>

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Carries the exact message shown to the user.
class ESettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class SettingsStore {
public:
    // Files larger than this are refused rather than read: no settings file a
    // person keeps comes near it, and a device or a runaway file cannot fill memory.
    static constexpr std::size_t MaxFileSize = std::size_t{16} << 20;

    // The file of the user scope, as bytes: $MORVANE_SETTINGS, else
    // $XDG_CONFIG_HOME/Morvane/2.ini (~/.config/Morvane/2.ini).
    static std::string DefaultFileName();

    // Reads FileName (raw path bytes) once, without ever blocking. A missing
    // file (a dangling link included) is a first run: no error. A file that is
    // not a regular file, is larger than MaxFileSize or cannot be read is
    // refused: LoadError() says why ("cannot read settings file PATH: reason")
    // and Flush() never writes over it. A line that cannot be parsed is reported
    // by LoadError() (file, line number and a short quote of the line); every
    // line that could be read is taken. Its content is never lost: Flush() first
    // copies it to "<file>.damaged-<yyyyMMdd-HHmmss>" and writes nothing when
    // that copy fails. The same copy is kept when a present value could not be
    // used (an integer that is none, list entries that their count leaves out),
    // since defaults then stood in for it.
    explicit SettingsStore(std::string FileName);
    explicit SettingsStore(const QString& FileName);

    const std::string& FileName() const { return fileName_; }
    // Empty when the file was read (or is absent); otherwise the message to show.
    const std::string& LoadError() const { return loadError_; }
    // The file was there when the store was made (not a first run).
    bool Found() const { return found_; }
    // Why the file could not be read, for a message of its own: "not found"
    // when it is absent; empty when it was read.
    const std::string& ReadFailure() const { return readFailure_; }
    // Some value present in the file could not be used as read; Flush() keeps a
    // copy of the file as found.
    void NoteUnusedValue() const { defaultedValues_ = true; }

    std::string ReadString(const std::string& Section, const std::string& Name,
                           const std::string& Default) const;
    int ReadInteger(const std::string& Section, const std::string& Name, int Default) const;
    bool ReadBool(const std::string& Section, const std::string& Name, bool Default) const;
    // A present value the reader could not take, so that a default stands in:
    // Flush() keeps a copy of the file as found, as for a value that is no integer.
    void NoteDefaultedValue() const { defaultedValues_ = true; }
    // A present value that could not be used and that the user should hear
    // of, with what stands in for it: the message to show, once however often
    // the value is loaded. Flush() keeps a copy of the file as found.
    void NoteValueProblem(const std::string& Message) const;
    // The messages of NoteValueProblem, in the order noted.
    const std::vector<std::string>& ValueProblems() const { return valueProblems_; }

    void WriteString(const std::string& Section, const std::string& Name, const std::string& Text);
    void WriteInteger(const std::string& Section, const std::string& Name, int Number);
    void WriteBool(const std::string& Section, const std::string& Name, bool Flag);
    void EraseSection(const std::string& Section);
    void EraseValue(const std::string& Section, const std::string& Name);

    bool SectionExists(const std::string& Section) const;
    // The section's values in file order; empty when there is no such section.
    const std::vector<std::pair<std::string, std::string>>&
    SectionValues(const std::string& Section) const;

    // The store's reading of an integer: decimal digits with an optional sign,
    // nothing else (no blanks, an empty text fails), within the range of int.
    static bool ParseInteger(const std::string& Text, int& Number);

    // Writes the whole file through ReplaceFileContents (complete or not at
    // all; permissions kept, links written through, hard links and read-only
    // folders written in place), creating its folder when missing. Throws
    // ESettingsError naming the file and the cause: "cannot save settings file
    // PATH: Disk full" (the causes of WriteFailureCause), or that no copy of a
    // damaged file could be kept, or that a refused file is left as it is.
    void Flush();
    // Where Flush() put the copy of a damaged file; empty when it made none.
    const std::string& DamagedCopyName() const { return damagedCopyName_; }

private:
    IniSection* FindSection(const std::string& Name);
    const IniSection* FindSection(const std::string& Name) const;
    void KeepDamagedCopy();

    std::string fileName_;
    std::string loadError_;
    std::string readFailure_;
    bool found_ = false;
    // The file was not read at all: Flush() leaves it alone.
    bool refused_ = false;
    std::vector<IniSection> sections_; // in file order
    // The file as found could not be read whole: Flush() keeps a copy of it first.
    bool damaged_ = false;
    // Some value was present but not an integer where one was read, so a default
    // stood in for it: Flush() keeps a copy of the file as found as well.
    mutable bool defaultedValues_ = false;
    mutable std::vector<std::string> valueProblems_;
    std::string damagedCopyName_;
};

// ---- The layout -----------------------------------------------------------

// "Item Count", "Item n", "Item n State" of a check list section. Missing state
// loads checked (1); a count of 0 or less, or no integer, loads nothing; a
// missing caption loads empty. Any state other than 0 loads as checked
// (CheckStateFromStored).
// The entries present (an "Item n" or "Item n State" value) with n up to the
// count load, in the order of n; numbers without any value are skipped, so
// what is loaded follows the file's size, never the count alone. Entries that
// the count leaves out (n above it, or a count of 0 or less) make the next
// Flush() keep a copy of the file as found.
std::vector<CheckEntry> LoadCheckListSection(const SettingsStore& Store,
                                             const std::string& Section);
// As above, but a missing state loads as include (0), and a state outside 0..2
// is clamped into that range (CriterionStateFromStored).
std::vector<CriterionEntry> LoadCriterionSection(const SettingsStore& Store,
                                                 const std::string& Section);
// Erases the section, then writes Item Count and each entry's caption and state.
// The section of a field that a search may go without (album artists,
// composers, formats, lengths, modified) is written only while it has entries.
void SaveListSection(SettingsStore& Store, const std::string& Section,
                     const std::vector<CheckEntry>& Entries);
void SaveListSection(SettingsStore& Store, const std::string& Section,
                     const std::vector<CriterionEntry>& Entries);

// Notes a value problem for each year, length or modified entry of no known
// form (the entry itself is kept as it stands).
void NoteMalformedEntries(const SettingsStore& Store, const WizardSettings& Settings);
// Removes every entry whose caption is not an existing directory, keeping the order.
void DropMissingFolders(std::vector<CheckEntry>& Entries);

// The non-list values: Recurse, Thorough ID3 Check, the six rules, the field
// order (with its acceptance rule against the current Settings.FieldOrder) and
// Include Tagless Files, and the Tag Code Page (an unknown name loads as the
// default and counts as a defaulted value). A stored rule outside 0..2 is
// clamped into that range (PrecedenceRuleFromStored).
void LoadWindowSettings(const SettingsStore& Store, WizardSettings& Settings);
void SaveWindowSettings(SettingsStore& Store, const WizardSettings& Settings);

// Everything, as the wizard loads at start-up (lists, then window values;
// missing folders dropped, years repaired) and saves at exit (lists, then
// window values; the "Options" section is never erased). Saving changes the
// store in memory only: Flush() writes the file.
// The search's own sections: "Playlist" (Path, Format, Paths, Root, Extended,
// Unique; written only when some value is not its default) and the lists
// "Removed" and "Added" ("Item Count", "Item n"; written only when not empty).
// A Format or Paths text that is not one of the names loads as the default and
// counts as a defaulted value.
extern const char* const RemovedSection;
extern const char* const AddedSection;
bool IsPlaylistFormatName(std::string_view Name);
bool IsPlaylistPathsName(std::string_view Name);
void LoadSearchSections(const SettingsStore& Store, WizardSettings& Settings);
void SaveSearchSections(SettingsStore& Store, const WizardSettings& Settings);
// A list of paths in the list layout without states.
std::vector<std::string> LoadPathList(const SettingsStore& Store, const std::string& Section);
// Erases the section; writes it again only when Paths is not empty.
void SavePathList(SettingsStore& Store, const std::string& Section,
                  const std::vector<std::string>& Paths);

WizardSettings LoadAllSettings(const SettingsStore& Store);
void SaveAllSettings(SettingsStore& Store, const WizardSettings& Settings);
