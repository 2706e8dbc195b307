// Keeping kept searches' playlists current without a window: the library
// watch over each search's folders, each settled change refreshed as
// `--refresh` does, one line per refresh on the log.
#pragma once

#include "watch/LibraryWatch.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct TWatchServiceOptions {
    std::vector<std::string> Searches; // search files, raw path bytes
    // A settings store whose watched searches are followed: read at start
    // (when Searches is empty) and again after each change to it.
    std::string ListFile;
    bool Quiet = false;   // only failures and notices on the log
    bool NoIndex = false; // read every file's tags
    TWatchOptions Timing;
};

// What the watch needs of a search file: its checked folders, whether it
// recurses, and which files its filename masks take.
TWatchedFolders LoadWatchedFolders(const std::string& SearchFile);

class TWatchService {
public:
    // Write gets whole lines, each beginning with the local time.
    TWatchService(TWatchServiceOptions Options, std::function<void(std::string_view)> Write);
    ~TWatchService();
    TWatchService(const TWatchService&) = delete;
    TWatchService& operator=(const TWatchService&) = delete;

    // Refreshes every search, then keeps them current until Stop.
    void Run();
    // Safe from any thread and from a signal handler. A refresh under way
    // gives up without writing.
    void Stop();

private:
    struct TState;
    std::unique_ptr<TState> state_;
};

// `morvane --watch`: the searches named, or else the settings store's
// watched searches, followed as the window changes them; runs until SIGTERM
// or SIGINT. Returns 0 after such a stop, 2 when there is nothing to watch
// and no list to follow. Needs a QCoreApplication.
int RunWatch(std::vector<std::string> Searches, const std::string& SettingsFile,
             int IntervalMinutes, bool Quiet, bool NoIndex);
