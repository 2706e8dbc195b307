// The wizard's search settings as plain data: what the pages show and what the
// settings store holds. The window, the store and the headless command share it.
#pragma once

#include <array>
#include <string>
#include <vector>

// One list entry: its caption as raw bytes and its state (1/0 checked for check
// lists, the criterion state 0/1/2 for criterion lists).
struct ListEntry {
    std::string Caption;
    int State = 1;

    bool operator==(const ListEntry&) const = default;
};

// The five criterion fields, in their fixed order.
enum CriterionField { FieldTitle = 0, FieldArtist, FieldAlbum, FieldGenre, FieldYear };
inline constexpr int CriterionFieldCount = 5;

// "Title", "Artist", "Album", "Genre", "Year".
extern const std::array<const char*, CriterionFieldCount> CriterionFieldNames;
// List panel and settings section names: "Titles", "Artists", "Albums", "Genres", "Years".
extern const std::array<const char*, CriterionFieldCount> CriterionListNames;

struct WizardSettings {
    std::vector<ListEntry> Folders;
    std::vector<ListEntry> Filenames;
    std::array<std::vector<ListEntry>, CriterionFieldCount> Criteria;
    bool Recurse = true;
    bool ThoroughID3Check = false;
    bool IncludeTaglessFiles = false;
    std::array<int, CriterionFieldCount> FieldRules{}; // PrecedenceRule of each field
    int OrderRule = 0;
    std::vector<std::string> FieldOrder{"Title", "Artist", "Album", "Genre", "Year"};
};
