// The refresh of kept searches: one compile, one playlist and one line each.
#include "app/HeadlessRefresh.h"

#include "app/OutputTargets.h"
#include "engine/CompileJob.h"
#include "engine/Counts.h"
#include "engine/Criteria.h"
#include "engine/Duplicates.h"
#include "files/SafeReplace.h"
#include "index/TagIndex.h"
#include "media/AudioTags.h"
#include "model/MessageText.h"
#include "panels/MediaFileCheckListFrame.h"
#include "settings/SearchFile.h"

#include <cstdio>
#include <exception>
#include <mutex>

namespace {

// Why a search could not be refreshed: the line says it once, by name.
struct ERefreshFailure {
    std::string Reason;
};

std::string Counted(std::size_t Count, const char* One, const char* Many) {
    return std::to_string(Count) + " " + (Count == 1 ? One : Many);
}

// Compiles the search of SearchFile and writes its playlist; the line to show.
std::string RefreshSearch(const std::string& SearchFile, const TRefreshContext& Context) {
    const TLoadedSearch Loaded = LoadSearchFile(SearchFile);
    // Half a search could write a playlist the user never asked for.
    if (!Loaded.Error.empty())
        throw ERefreshFailure{Loaded.Error};
    const WizardSettings& Settings = Loaded.Settings;
    const std::string PlaylistFile = SearchPlaylistFile(SearchFile, Settings);
    if (PlaylistFile.empty())
        throw ERefreshFailure{"no playlist to write (its [Playlist] section has no Path)"};
    PlaylistFormat Format = PlaylistFormat::M3U;
    TPlaylistOptions Options;
    std::string Error;
    if (!SearchPlaylistOptions(Settings, PlaylistFile, Format, Options, Error))
        throw ERefreshFailure{Error};
    if (!SearchAdequate(Settings))
        throw ERefreshFailure{SearchInadequateMessage};
    if (!CriteriaAdequate(Settings))
        throw ERefreshFailure{CriteriaInadequateMessage};

    CompileJob Job = MakeCompileJob(Settings);
    Job.CollationLocale = SystemCollationLocale();
    std::vector<TPlaylistEntry> Found;
    SearchHooks Hooks;
    Hooks.FoundFile = [&Found](const TFileInfo& File) {
        Found.push_back({File.FileName, File.MediaInfo.Artist, File.MediaInfo.Title, -1});
    };
    Hooks.StopRequested = Context.StopRequested;
    SearchReaders Readers;
    if (Settings.RememberTags && Context.Index)
        Readers.Index = Context.Index();
    const SearchResult Result = RunSearch(Job, Hooks, Readers);
    if (Result.Outcome == SearchOutcome::Aborted)
        throw ERefreshFailure{"stopped before the end; the playlist is left as it was"};
    if (Result.Outcome != SearchOutcome::Completed)
        throw ERefreshFailure{Result.ErrorMessage};

    std::string Line = Counted(Found.size(), "file found", "files found");
    if (Settings.PlaylistUnique) {
        std::vector<std::string> Paths;
        for (const TPlaylistEntry& Entry : Found)
            Paths.push_back(Entry.Path);
        const std::vector<std::size_t> Repeats = DuplicateRows(Paths);
        RemoveRows(Found, Repeats);
        if (!Repeats.empty())
            Line += ", " + Counted(Repeats.size(), "repeat", "repeats") + " left out";
    }
    if (Options.Extended)
        for (TPlaylistEntry& Entry : Found)
            Entry.DurationMs = ReadDurationMs(Entry.Path);
    const std::size_t Entries = Found.size();
    TPlaylistRefresh Written;
    try {
        Written = RefreshPlaylist(PlaylistFile, std::move(Found), Format, Options);
    } catch (const std::exception& Failure) {
        throw ERefreshFailure{Line + "; " + Failure.what()};
    }
    Line += Written.Unchanged ? "; " + QuoteForMessage(PlaylistFile, 1024) + " unchanged"
                              : "; " + Counted(Entries, "entry", "entries") + " written to " +
                                    QuoteForMessage(PlaylistFile, 1024);
    if (Written.LeftAbsolute > 0)
        Line += " (" + std::to_string(Written.LeftAbsolute) + " left as full paths)";
    const std::string Unreadable = LeftOutSummary(Result);
    if (!Unreadable.empty())
        Line += "; " + Unreadable;
    if (Context.Counts) {
        if (Readers.Index)
            Readers.Index->Flush(); // the counts then read no file again
        const std::string Text =
            CountsText(CountSearchNow(Settings, Readers.Index.get()), Settings);
        *Context.Counts += "Search\t" + SearchFile + "\t\t\t\n" + Text.substr(Text.find('\n') + 1);
    }
    return Line;
}

} // namespace

bool SearchPlaylistOptions(const WizardSettings& Settings, const std::string& PlaylistFile,
                           PlaylistFormat& Format, TPlaylistOptions& Options, std::string& Error) {
    const std::string& Name = Settings.PlaylistFormatName;
    Format = Name == "pls"    ? PlaylistFormat::PLS
             : Name == "m3u8" ? PlaylistFormat::M3U8
             : Name == "m3u"  ? PlaylistFormat::M3U
                              : PlaylistFormatOf(PlaylistFile);
    Options = TPlaylistOptions();
    Options.Extended = Settings.PlaylistExtended;
    if (Settings.PlaylistPathsName == "relative") {
        Options.Paths = PlaylistPaths::Relative;
    } else if (Settings.PlaylistPathsName == "root") {
        if (Settings.PlaylistRoot.empty() || Settings.PlaylistRoot[0] != '/') {
            Error = "Paths=root needs the music folder as an absolute Root";
            return false;
        }
        Options.Paths = PlaylistPaths::Root;
        Options.Root = Settings.PlaylistRoot;
    }
    return true;
}

bool RefreshOneSearch(const std::string& SearchFile, const TRefreshContext& Context,
                      std::string& Line) {
    try {
        Line = RefreshSearch(SearchFile, Context);
        return true;
    } catch (const ERefreshFailure& Failure) {
        Line = "not refreshed: " + Failure.Reason;
    } catch (const std::exception& Failure) {
        Line = std::string("not refreshed: ") + Failure.what();
    }
    return false;
}

int RunRefresh(const std::vector<std::string>& SearchFiles, bool Quiet,
               const std::function<void(std::string_view)>& Write, bool NoIndex,
               const std::string& CountsFile) {
    // The index's own thread may warn: each line is said by this thread, in turn.
    std::mutex Mutex;
    std::vector<std::string> Warnings;
    const auto Tell = [&] {
        std::vector<std::string> Lines;
        {
            std::lock_guard Lock(Mutex);
            Lines.swap(Warnings);
        }
        for (const std::string& Warning : Lines)
            Write(Warning + "\n");
    };
    std::shared_ptr<TTagIndex> Index;
    TRefreshContext Context;
    if (!NoIndex)
        Context.Index = [&] {
            if (!Index)
                Index = std::make_shared<TTagIndex>(
                    TTagIndex::DefaultPath(), [&Mutex, &Warnings](const std::string& Warning) {
                        std::lock_guard Lock(Mutex);
                        Warnings.push_back(Warning);
                    });
            return Index;
        };
    std::string Counts = CountsHeader;
    if (!CountsFile.empty())
        Context.Counts = &Counts;
    int Status = 0;
    for (const std::string& SearchFile : SearchFiles) {
        std::string Line;
        const bool Refreshed = RefreshOneSearch(SearchFile, Context, Line);
        Tell();
        if (!Refreshed)
            Status = 1;
        if (!Refreshed || !Quiet)
            Write(QuoteForMessage(SearchFile, 1024) + ": " + Line + "\n");
    }
    Index.reset();
    Tell();
    if (!CountsFile.empty()) {
        // Never over a file of another kind (a playlist, a song, notes).
        const std::string Foreign = TargetIsForeign(CountsFile, TOutputKind::Counts, {});
        TWriteFailure Failure;
        if (!Foreign.empty()) {
            Write("refusing to replace " + QuoteForMessage(CountsFile, 1024) +
                  " with the counts: " + Foreign + "\n");
            Status = 1;
        } else if (!ReplaceFileContents(CountsFile, Counts, Failure)) {
            Write("Unable to write to " + QuoteForMessage(CountsFile, 1024) + ": " +
                  WriteFailureCause(Failure) + "\n");
            Status = 1;
        }
    }
    return Status;
}

int RunRefresh(const std::vector<std::string>& SearchFiles, bool Quiet, bool NoIndex,
               const std::string& CountsFile) {
    return RunRefresh(
        SearchFiles, Quiet,
        [](std::string_view Text) {
            std::fwrite(Text.data(), 1, Text.size(), stderr);
            std::fflush(stderr);
        },
        NoIndex, CountsFile);
}
