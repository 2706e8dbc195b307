// The wizard's search settings as plain data: what the pages show and what the
// settings store holds. The window, the store and the headless command share it.
#pragma once

#include "model/Selection.h"
#include "model/States.h"

#include <array>
#include <string>
#include <vector>

// An entry of a check list: its caption as raw bytes and whether it is checked.
struct CheckEntry {
    std::string Caption;
    CheckState State = CheckState::Checked;

    bool operator==(const CheckEntry&) const = default;
};

// An entry of a criterion list: its mask as raw bytes and its state.
struct CriterionEntry {
    std::string Caption;
    CriterionState State = CriterionState::Include;

    bool operator==(const CriterionEntry&) const = default;
};

// The criterion fields, in their fixed order: the five tag fields every
// search has, then those of the "More criteria" page.
enum CriterionField {
    FieldTitle = 0,
    FieldArtist,
    FieldAlbum,
    FieldGenre,
    FieldYear,
    FieldAlbumArtist,
    FieldComposer,
    FieldFormat,
    FieldLength,
    FieldModified
};
inline constexpr int CriterionFieldCount = 10;
// The fields whose sections every settings file has; the others are written
// only while they hold something, so a search that does not use them keeps
// its bytes.
inline constexpr int ClassicFieldCount = 5;

// "Title", "Artist", "Album", "Genre", "Year", "Album Artist", "Composer",
// "Format", "Length", "Modified": the names of the field order.
extern const std::array<const char*, CriterionFieldCount> CriterionFieldNames;
// List panel and settings section names: "Titles", "Artists", "Albums",
// "Genres", "Years", "Album Artists", "Composers", "Formats", "Lengths", "Modified".
extern const std::array<const char*, CriterionFieldCount> CriterionListNames;
// Every field name in the fixed order.
std::vector<std::string> DefaultFieldOrder();
// Order followed by the field names it leaves out, in the fixed order (a
// search written before a field existed evaluates it last).
std::vector<std::string> CompleteFieldOrder(std::vector<std::string> Order);

struct WizardSettings {
    std::vector<CheckEntry> Folders;
    std::vector<CheckEntry> Filenames;
    std::array<std::vector<CriterionEntry>, CriterionFieldCount> Criteria;
    bool Recurse = true;
    bool ThoroughID3Check = false;
    bool IncludeTaglessFiles = false;
    bool ReadOtherFormats = true;
    // Tags read by one compile are remembered for the next (the tag index).
    bool RememberTags = true;
    // How Save writes a playlist: entries relative to its folder, and the
    // extended lines (length, artist and title).
    bool RelativePlaylistPaths = false;
    bool ExtendedPlaylist = false;
    std::array<PrecedenceRule, CriterionFieldCount> FieldRules{};
    PrecedenceRule OrderRule = PrecedenceRule::InclusionFirst;
    std::vector<std::string> FieldOrder = DefaultFieldOrder();
    // The code page of tag text that declares no encoding (iconv's name as the
    // Options page lists it).
    std::string TagCodePage = "Windows-1252";

    // The search's own playlist, as a refresh writes it: the file (absolute,
    // or relative to the search file's folder; empty: none), its format
    // ("m3u", "m3u8", "pls"; empty: the name decides), how entries are
    // written ("absolute", "relative" to the playlist, or "root": relative to
    // PlaylistRoot, a music player's music folder), the extended lines and
    // one entry per file.
    std::string PlaylistPath;
    std::string PlaylistFormatName;
    std::string PlaylistPathsName = "absolute";
    std::string PlaylistRoot;
    bool PlaylistExtended = false;
    bool PlaylistUnique = false;

    // The user's changes to a compiled list, kept with the search: every later
    // compile leaves the removed paths out and appends the added ones.
    std::vector<std::string> RemovedPaths;
    std::vector<std::string> AddedPaths;

    // What is done with the files the criteria took: order, limit, pick and
    // caps, as written (ReadSelection reads them).
    TSelectionTexts Selection;

    bool operator==(const WizardSettings&) const = default;
};
