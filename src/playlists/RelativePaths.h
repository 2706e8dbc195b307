// Playlist entries relative to the playlist's folder, so a playlist copied
// together with its music still finds it.
#pragma once

#include <map>
#include <string>

// Makes paths relative to one playlist file's folder. Links above the nearest
// folder that holds both the playlist and the entry are resolved (a home
// folder reached through a link gives no "../../.."), links below it are
// kept as spelt (a folder linked into the music tree stays where the user
// sees it).
class TRelativePaths {
public:
    explicit TRelativePaths(const std::string& PlaylistFile);

    // The entry relative to the playlist's folder in Relative. False, with
    // Relative untouched, when that cannot be done: the entry and the
    // playlist share no folder on one file system (another mount, another
    // device), the playlist's folder cannot be reached, or Entry is not an
    // absolute path.
    bool Make(const std::string& Entry, std::string& Relative);

private:
    // The real path of an entry's folder and how to reach it from the playlist.
    struct TFolderWay {
        bool Possible = false;
        std::string Prefix; // "../../rock/" or "" for the playlist's own folder
    };
    TFolderWay WayTo(const std::string& Folder);

    std::string folder_; // the playlist's folder, real path; empty when unreachable
    unsigned long long device_ = 0;
    std::map<std::string, TFolderWay> ways_; // by entry folder as spelt
};
