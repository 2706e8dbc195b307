// Playlist entries relative to a music folder, the way a music player that
// keeps its own library (a music daemon's music_directory) names its songs:
// "/" separators, no "./", nothing above the folder.
#pragma once

#include <string>
#include <vector>

class TRootPaths {
public:
    // Root: the music folder, absolute. Entries are compared with it as spelt
    // and with its real path (the player may be given the folder through a
    // link, or the link's target).
    explicit TRootPaths(const std::string& Root);

    // The entry below the root, in Relative. False, with Relative untouched,
    // when the entry is not an absolute path inside the root, or its relative
    // form would read as something else in a playlist line (a leading "#" or
    // blank, a trailing blank, a line break).
    bool Make(const std::string& Entry, std::string& Relative) const;

private:
    std::vector<std::string> roots_;
};
