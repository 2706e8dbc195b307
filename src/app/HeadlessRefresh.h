// Refreshing kept searches without a window: each search file is compiled and
// its playlist written as its "Playlist" section says.
#pragma once

#include "model/WizardSettings.h"
#include "playlists/PlaylistWriters.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// How a search writes its playlist, as its settings say. False with Error set
// when they say it wrongly (no Root for root paths).
bool SearchPlaylistOptions(const WizardSettings& Settings, const std::string& PlaylistFile,
                           PlaylistFormat& Format, TPlaylistOptions& Options, std::string& Error);

class TTagIndex;

// What one refresh may use beyond its search file.
struct TRefreshContext {
    // Polled by the search: true ends it early, and nothing is written.
    std::function<bool()> StopRequested;
    // The tag index, opened on first need; empty or null reads every file.
    std::function<std::shared_ptr<TTagIndex>()> Index;
    // When set, what each rule of the search does is appended to it (a block
    // of CountsText's lines, opened by a line naming the search).
    std::string* Counts = nullptr;
};

// Compiles the search of SearchFile and writes its playlist when its bytes
// change. True with Line saying what was found and written (or left
// unchanged); false with Line saying why nothing was written.
bool RefreshOneSearch(const std::string& SearchFile, const TRefreshContext& Context,
                      std::string& Line);

// Compiles each search in turn and writes its playlist. One line per search
// goes to Write: what was found and written, or why nothing was; with Quiet
// only the failures. A search that fails never stops the others. Returns 0
// when every playlist was written (or already held the same bytes), 1
// otherwise. Tags are looked up in the tag index unless NoIndex (or the
// search says not to remember them). Needs a QCoreApplication.
// CountsFile, when not empty, gets what each rule of each search does.
int RunRefresh(const std::vector<std::string>& SearchFiles, bool Quiet,
               const std::function<void(std::string_view)>& Write, bool NoIndex = false,
               const std::string& CountsFile = {});
// The same, writing to stderr.
int RunRefresh(const std::vector<std::string>& SearchFiles, bool Quiet, bool NoIndex = false,
               const std::string& CountsFile = {});
