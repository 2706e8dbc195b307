// Refreshing kept searches without a window: each search file is compiled and
// its playlist written as its "Playlist" section says.
#pragma once

#include "model/WizardSettings.h"
#include "playlists/PlaylistWriters.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// How a search writes its playlist, as its settings say. False with Error set
// when they say it wrongly (no Root for root paths).
bool SearchPlaylistOptions(const WizardSettings& Settings, const std::string& PlaylistFile,
                           PlaylistFormat& Format, TPlaylistOptions& Options, std::string& Error);

// Compiles each search in turn and writes its playlist. One line per search
// goes to Write: what was found and written, or why nothing was; with Quiet
// only the failures. A search that fails never stops the others. Returns 0
// when every playlist was written (or already held the same bytes), 1
// otherwise. Needs a QCoreApplication.
int RunRefresh(const std::vector<std::string>& SearchFiles, bool Quiet,
               const std::function<void(std::string_view)>& Write);
// The same, writing to stderr.
int RunRefresh(const std::vector<std::string>& SearchFiles, bool Quiet);
