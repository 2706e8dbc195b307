// Search files read and written through the settings store.
#include "settings/SearchFile.h"

#include "files/Paths.h"
#include "model/MessageText.h"
#include "settings/SettingsStore.h"

#include <algorithm>

const char* const RecentSearchesSection = "Recent Searches";
const char* const WatchedSearchesSection = "Watched";

bool IsWindowSection(const std::string& Section) {
    const std::string folded = FoldIniName(Section);
    return folded == "window" || folded == FoldIniName(RecentSearchesSection) ||
           folded == FoldIniName(WatchedSearchesSection);
}

TLoadedSearch LoadSearchFile(const std::string& FileName) {
    TLoadedSearch loaded;
    const SettingsStore store(FileName);
    loaded.Found = store.Found();
    if (!store.LoadError().empty())
        loaded.Error = store.LoadError();
    else if (!store.Found())
        loaded.Error =
            "cannot read search " + QuoteForMessage(FileName, 1024) + ": " + store.ReadFailure();
    loaded.Settings = LoadAllSettings(store);
    // A value that stood in for one the file names differently would make a
    // playlist the search never asked for.
    if (loaded.Error.empty() && !store.ValueProblems().empty())
        loaded.Error = store.ValueProblems().front();
    return loaded;
}

void SaveSearchFile(const std::string& FileName, const WizardSettings& Settings) {
    SettingsStore store(FileName);
    // Every section of ours is written anew, so saving the same search twice
    // gives the same bytes; sections of no use to the program stay in front.
    for (const char* section : {"Window", RecentSearchesSection, WatchedSearchesSection, "Folders",
                                "Filenames", "Options", "Playlist", RemovedSection, AddedSection})
        store.EraseSection(section);
    for (const char* section : CriterionListNames)
        store.EraseSection(section);
    SaveAllSettings(store, Settings);
    store.Flush();
}

std::string SearchPlaylistFile(const std::string& SearchFile, const WizardSettings& Settings) {
    const std::string& path = Settings.PlaylistPath;
    if (path.empty() || path[0] == '/')
        return path;
    const std::string folder = FolderOf(SearchFile);
    if (folder == ".")
        return path;
    return folder.back() == '/' ? folder + path : folder + "/" + path;
}

std::string StoredPlaylistPath(const std::string& SearchFile, const std::string& Playlist) {
    if (SearchFile.empty() || Playlist.empty() || Playlist[0] != '/')
        return Playlist;
    std::string folder = FolderOf(SearchFile);
    if (folder.empty() || folder[0] != '/')
        return Playlist;
    if (folder.back() != '/')
        folder += '/';
    if (!Playlist.starts_with(folder))
        return Playlist;
    const std::string rest = Playlist.substr(folder.size());
    // "a/../b" is not inside the folder, whatever its start says.
    if (rest.empty() || rest == ".." || rest.starts_with("../") ||
        rest.find("/../") != std::string::npos || rest.ends_with("/.."))
        return Playlist;
    return rest;
}

std::vector<std::string> LoadRecentSearches(const SettingsStore& Store) {
    std::vector<std::string> recent;
    for (std::string& name : LoadPathList(Store, RecentSearchesSection))
        if (!name.empty() && std::find(recent.begin(), recent.end(), name) == recent.end() &&
            recent.size() < RecentSearchCount)
            recent.push_back(std::move(name));
    return recent;
}

void SaveRecentSearches(SettingsStore& Store, const std::vector<std::string>& Recent) {
    SavePathList(Store, RecentSearchesSection, Recent);
}

void NoteRecentSearch(std::vector<std::string>& Recent, const std::string& FileName) {
    std::erase(Recent, FileName);
    Recent.insert(Recent.begin(), FileName);
    if (Recent.size() > RecentSearchCount)
        Recent.resize(RecentSearchCount);
}

std::vector<std::string> LoadWatchedSearches(const SettingsStore& Store) {
    std::vector<std::string> watched;
    for (std::string& name : LoadPathList(Store, WatchedSearchesSection))
        if (!name.empty() && std::find(watched.begin(), watched.end(), name) == watched.end())
            watched.push_back(std::move(name));
    return watched;
}

void SaveWatchedSearches(SettingsStore& Store, const std::vector<std::string>& Watched) {
    SavePathList(Store, WatchedSearchesSection, Watched);
}
