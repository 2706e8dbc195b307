// The program's command line: its own options, checked strictly, with Qt's
// own options (-platform, -style, ...) let through for the application object.
#pragma once

#include "playlists/PlaylistWriters.h"

#include <optional>
#include <string>
#include <vector>

// What --compile writes beside the search's result.
struct THeadlessOptions {
    std::optional<PlaylistFormat> Format; // --format; otherwise the playlist's name decides
    std::optional<PlaylistPaths> Paths;   // --paths; otherwise the stored option
    bool Extended = false;                // --extended; otherwise the stored option
    bool Unique = false;                  // --unique: later rows of one file go
    std::string ExplainFile;              // --explain FILE, raw bytes; empty: none
    std::string CountsFile;               // --counts FILE, raw bytes; empty: none
    bool Force = false;   // --force: replace an existing file that is no output of ours
    bool NoIndex = false; // --no-index: every file is read, nothing remembered
};

struct TCommandLine {
    enum class TAction { Wizard, Compile, Refresh, Watch, Screenshots, Help, Version };
    TAction Action = TAction::Wizard;
    std::string SettingsFile; // raw bytes; empty when --settings was not given
    std::string Target;       // the playlist (Compile) or folder (Screenshots), raw bytes
    bool Quiet = false;       // Compile, Refresh, Watch: only errors on stderr
    bool NoIndex = false;     // --no-index: tags are neither looked up nor remembered
    // Refresh: the search files, at least one; Watch: the search files, none
    // for the settings store's watched list; Wizard: the search to open, if any.
    std::vector<std::string> Searches;
    int IntervalMinutes = 10; // Watch: how often searches that cannot be watched are refreshed
    std::string CountsFile;   // Compile, Refresh: --counts FILE, raw bytes; empty: none
    THeadlessOptions Compile; // Compile: the playlist's options and extras
};

// Arguments are argv[1..], as bytes; values come back byte for byte. Returns
// false and sets Error for an unknown option, an option given twice, options
// that exclude each other, a missing or empty value or a stray argument.
bool ParseCommandLine(const std::vector<std::string>& Arguments, TCommandLine& Line,
                      std::string& Error);
