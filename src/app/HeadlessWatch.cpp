// The watch of kept searches: the library watch's hooks are the search file
// loader and the refresh of HeadlessRefresh.
#include "app/HeadlessWatch.h"

#include "app/HeadlessRefresh.h"
#include "engine/Masks.h"
#include "index/TagIndex.h"
#include "media/text/TagDecoder.h"
#include "model/MessageText.h"
#include "settings/SearchFile.h"
#include "settings/SettingsStore.h"

#include <malloc.h>
#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace {

// "2026-12-09 16:40:14 ", local time.
std::string Stamp() {
    const std::time_t Now = std::time(nullptr);
    std::tm Local{};
    localtime_r(&Now, &Local);
    char Text[32];
    std::strftime(Text, sizeof Text, "%Y-%m-%d %H:%M:%S ", &Local);
    return Text;
}

// The filename masks of one search, compiled once for the events' names.
struct TNameMasks {
    explicit TNameMasks(const std::string& CodePage) : Decoder(CodePage) {}
    TTagDecoder Decoder; // outlives the masks, which read stray bytes through it
    std::vector<TMask> Masks;
};

} // namespace

TWatchedFolders LoadWatchedFolders(const std::string& SearchFile) {
    TWatchedFolders Watched;
    const TLoadedSearch Loaded = LoadSearchFile(SearchFile);
    if (!Loaded.Error.empty()) {
        Watched.Error = Loaded.Error;
        return Watched;
    }
    const WizardSettings& Settings = Loaded.Settings;
    Watched.Loaded = true;
    Watched.Recurse = Settings.Recurse;
    for (const CheckEntry& Entry : Settings.Folders)
        if (Entry.State == CheckState::Checked)
            Watched.Folders.push_back(Entry.Caption);
    auto Names = std::make_shared<TNameMasks>(Settings.TagCodePage);
    try {
        for (const CheckEntry& Entry : Settings.Filenames)
            if (Entry.State == CheckState::Checked)
                Names->Masks.emplace_back(Entry.Caption, Names->Decoder);
    } catch (const EMaskException&) {
        // The refresh names the malformed mask; meanwhile every file counts.
        return Watched;
    }
    Watched.Selects = [Names](const std::string& Path) {
        for (const TMask& Mask : Names->Masks)
            if (Mask.Matches(Path))
                return true;
        return false;
    };
    return Watched;
}

struct TWatchService::TState {
    TWatchServiceOptions Options;
    std::function<void(std::string_view)> Write;
    std::unique_ptr<TLibraryWatch> Watch;
    std::shared_ptr<TTagIndex> Index;
    std::mutex Mutex; // the index's warnings come from its own thread
    std::vector<std::string> Warnings;

    void Say(const std::string& Line) { Write(Stamp() + Line + "\n"); }

    void TellWarnings() {
        std::vector<std::string> Lines;
        {
            std::lock_guard Lock(Mutex);
            Lines.swap(Warnings);
        }
        for (const std::string& Line : Lines)
            Say(Line);
    }

    void Refresh(const std::string& SearchFile, const std::function<bool()>& Stop) {
        TRefreshContext Context;
        Context.StopRequested = Stop;
        if (!Options.NoIndex)
            Context.Index = [this] {
                // One index for the whole watch: opened once, kept open.
                if (!Index)
                    Index = std::make_shared<TTagIndex>(TTagIndex::DefaultPath(),
                                                        [this](const std::string& Warning) {
                                                            std::lock_guard Lock(Mutex);
                                                            Warnings.push_back(Warning);
                                                        });
                return Index;
            };
        std::string Line;
        const bool Refreshed = RefreshOneSearch(SearchFile, Context, Line);
        // A refresh's lists and its reader threads' heaps are freed by now;
        // given back, they keep a watch that runs for months at its size
        // between refreshes rather than at its largest refresh's.
        malloc_trim(0);
        TellWarnings();
        if (!Refreshed || !Options.Quiet)
            Say(QuoteForMessage(SearchFile, 1024) + ": " + Line);
    }
};

TWatchService::TWatchService(TWatchServiceOptions Options,
                             std::function<void(std::string_view)> Write)
    : state_(std::make_unique<TState>()) {
    state_->Options = std::move(Options);
    state_->Write = std::move(Write);
    TWatchHooks Hooks;
    Hooks.Load = LoadWatchedFolders;
    Hooks.Refresh = [State = state_.get()](const std::string& SearchFile,
                                           const std::function<bool()>& Stop) {
        State->Refresh(SearchFile, Stop);
    };
    Hooks.Say = [State = state_.get()](const std::string& Line) { State->Say(Line); };
    if (!state_->Options.ListFile.empty()) {
        Hooks.ListFile = state_->Options.ListFile;
        Hooks.ListSearches = [File = Hooks.ListFile] {
            return LoadWatchedSearches(SettingsStore(File));
        };
        if (state_->Options.Searches.empty())
            state_->Options.Searches = Hooks.ListSearches();
    }
    state_->Watch = std::make_unique<TLibraryWatch>(state_->Options.Searches, std::move(Hooks),
                                                    state_->Options.Timing);
}

TWatchService::~TWatchService() {
    // The index writes what it still holds before its warnings' target goes.
    state_->Index.reset();
    state_->TellWarnings();
}

void TWatchService::Run() {
    state_->Watch->Run();
}

void TWatchService::Stop() {
    state_->Watch->RequestStop();
}

namespace {

std::atomic<TWatchService*> SignalledService{nullptr};

extern "C" void StopOnSignal(int) {
    if (TWatchService* Service = SignalledService.load())
        Service->Stop();
}

} // namespace

int RunWatch(std::vector<std::string> Searches, const std::string& SettingsFile,
             int IntervalMinutes, bool Quiet, bool NoIndex) {
    const auto WriteErr = [](std::string_view Text) {
        std::fwrite(Text.data(), 1, Text.size(), stderr);
        std::fflush(stderr);
    };
    TWatchServiceOptions Options;
    if (Searches.empty()) {
        const SettingsStore Store(SettingsFile);
        if (!Store.LoadError().empty())
            WriteErr("morvane: " + Store.LoadError() + "\n");
        // Followed while it runs: a search marked in the window joins at once.
        Options.ListFile = SettingsFile;
        struct stat Info;
        const std::size_t Slash = SettingsFile.rfind('/');
        const std::string Folder = Slash == std::string::npos ? "."
                                   : Slash == 0               ? "/"
                                                              : SettingsFile.substr(0, Slash);
        if (LoadWatchedSearches(Store).empty()) {
            if (stat(Folder.c_str(), &Info) != 0) {
                WriteErr("morvane: no searches to watch: name them, or mark them \"Keep this "
                         "playlist current\" in the window's Search menu\n");
                return 2;
            }
            WriteErr(Stamp() + "no search is marked \"Keep this playlist current\" yet; "
                               "waiting for one\n");
        }
    }
    Options.Searches = std::move(Searches);
    Options.Quiet = Quiet;
    Options.NoIndex = NoIndex;
    Options.Timing.Interval = std::chrono::minutes(IntervalMinutes);
    TWatchService Service(std::move(Options), WriteErr);
    SignalledService.store(&Service);
    struct sigaction Action {};
    Action.sa_handler = StopOnSignal;
    sigemptyset(&Action.sa_mask);
    Action.sa_flags = SA_RESTART;
    struct sigaction FormerTerm {
    }, FormerInt{};
    sigaction(SIGTERM, &Action, &FormerTerm);
    sigaction(SIGINT, &Action, &FormerInt);
    Service.Run();
    sigaction(SIGTERM, &FormerTerm, nullptr);
    sigaction(SIGINT, &FormerInt, nullptr);
    SignalledService.store(nullptr);
    return 0;
}
