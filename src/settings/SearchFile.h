// Searches kept as files: the settings store's layout under a name ending in
// ".morvane", without the window's own values; where a search's playlist goes;
// and the list of recent searches that the settings store keeps.
#pragma once

#include "model/WizardSettings.h"

#include <cstddef>
#include <string>
#include <vector>

class SettingsStore;

inline constexpr const char* SearchFileSuffix = ".morvane";
inline constexpr std::size_t RecentSearchCount = 8;
// The settings store's list of recent search files, newest first.
extern const char* const RecentSearchesSection;
// The settings store's list of searches whose playlists `--watch` keeps
// current ("Keep this playlist current" in the window).
extern const char* const WatchedSearchesSection;

// Sections that belong to the window, not to a search: its place and dialog
// folders, the recent and the watched searches. A search file ignores them and never holds them.
bool IsWindowSection(const std::string& Section);

struct TLoadedSearch {
    WizardSettings Settings;
    // Empty when the file was read whole; otherwise what went wrong, to show.
    // A file that could be read in part loads what could be read.
    std::string Error;
    bool Found = false; // the file was there
};
// Reads a search file (raw path bytes) as the wizard reads its settings.
TLoadedSearch LoadSearchFile(const std::string& FileName);
// Writes Settings to FileName whole: the same search always gives the same
// bytes. Window sections and values no longer used are dropped; sections the
// program does not know stay. Throws ESettingsError.
void SaveSearchFile(const std::string& FileName, const WizardSettings& Settings);

// The playlist file of a search: PlaylistPath, relative to the folder of
// SearchFile unless absolute; empty when the search names none.
std::string SearchPlaylistFile(const std::string& SearchFile, const WizardSettings& Settings);
// How a search keeps the playlist file Playlist: relative to the search file's
// folder when it lies inside it (so the two can move together), else whole.
std::string StoredPlaylistPath(const std::string& SearchFile, const std::string& Playlist);

std::vector<std::string> LoadRecentSearches(const SettingsStore& Store);
void SaveRecentSearches(SettingsStore& Store, const std::vector<std::string>& Recent);
// FileName moves to the front; the list keeps at most RecentSearchCount names.
void NoteRecentSearch(std::vector<std::string>& Recent, const std::string& FileName);

// Each name once, in the order kept.
std::vector<std::string> LoadWatchedSearches(const SettingsStore& Store);
void SaveWatchedSearches(SettingsStore& Store, const std::vector<std::string>& Watched);
