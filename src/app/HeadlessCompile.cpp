// The compile without a window: the stored settings in, a playlist file out,
// progress and errors on stderr. Used by scripts and tests.
#include "app/AppEntry.h"
#include "app/CommandLine.h"
#include "app/HeadlessProgress.h"

#include "app/OutputTargets.h"
#include "app/SaveRecovery.h"
#include "engine/CompileJob.h"
#include "engine/Counts.h"
#include "engine/Criteria.h"
#include "engine/Duplicates.h"
#include "files/SafeReplace.h"
#include "index/IndexedReads.h"
#include "media/AudioTags.h"
#include "model/MessageText.h"
#include "panels/MediaFileCheckListFrame.h"
#include "playlists/PlaylistWriters.h"
#include "settings/SettingsStore.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>

namespace {

// Checked search folders that the load will drop: the run may then have
// nothing to search, and the reason belongs before the "inadequate" line.
void ReportMissingFolders(const std::vector<CheckEntry>& Folders, THeadlessProgress& Progress) {
    for (const CheckEntry& Entry : Folders) {
        if (Entry.State != CheckState::Checked)
            continue;
        struct stat Info;
        const char* Problem = nullptr;
        if (stat(Entry.Caption.c_str(), &Info) != 0)
            Problem = errno == ENOENT ? "not found" : std::strerror(errno);
        else if (!S_ISDIR(Info.st_mode))
            Problem = "not a folder";
        if (Problem)
            Progress.Error("search folder " + QuoteForMessage(Entry.Caption, 1024) + ": " +
                           Problem);
    }
}

// Warnings of the tag index, which may come from its own thread: said on
// stderr from this thread, each once, at the next point the run reaches.
class TIndexWarnings {
public:
    TTagIndex::TWarn Collector() {
        return [this](const std::string& Line) {
            std::lock_guard Lock(mutex_);
            lines_.push_back(Line);
        };
    }
    void Tell(THeadlessProgress& Progress) {
        std::vector<std::string> Lines;
        {
            std::lock_guard Lock(mutex_);
            Lines.swap(lines_);
        }
        for (const std::string& Line : Lines)
            Progress.Error(Line);
    }

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

} // namespace

QString UsageText() {
    return QStringLiteral(
        "Usage: morvane [--settings FILE] [--no-index]\n"
        "               [--compile PLAYLIST [--quiet] [--format m3u|m3u8|pls]\n"
        "                [--paths absolute|relative] [--extended] [--unique] [--explain FILE]\n"
        "                [--counts FILE] [--force] | --screenshots FOLDER] [SEARCH.morvane]\n"
        "       morvane --refresh [--quiet] [--counts FILE] SEARCH...\n"
        "       morvane --watch [--quiet] [--interval MINUTES] [SEARCH...]\n"
        "       morvane --help | --version\n"
        "\n"
        "Without --compile, --refresh or --watch, opens the playlist wizard, with the\n"
        "search SEARCH.morvane when one is given.\n"
        "\n"
        "  --settings FILE       use FILE as the settings store instead of\n"
        "                        $MORVANE_SETTINGS or ~/.config/Morvane/2.ini\n"
        "  --compile PLAYLIST    run the search of the stored settings without a window\n"
        "                        and write the files found to PLAYLIST (PLS when its name\n"
        "                        ends in .pls, M3U8 when it ends in .m3u8, M3U\n"
        "                        otherwise); the settings file is only read. Progress\n"
        "                        goes to stderr. Exit status: 0 written,\n"
        "                        1 invalid mask or write error, 2 inadequate settings\n"
        "                        or an output refused.\n"
        "                        On a terminal one line shows the progress; otherwise a\n"
        "                        status line comes at most once a second.\n"
        "  --refresh SEARCH...   compile each search file and write its playlist as its\n"
        "                        [Playlist] section says; a playlist whose bytes would\n"
        "                        not change is left alone. One line per search on\n"
        "                        stderr; a search that fails does not stop the others.\n"
        "                        Exit status: 0 every playlist written, 1 otherwise.\n"
        "  --watch [SEARCH...]   keep each search's playlist current until stopped\n"
        "                        (SIGTERM, SIGINT): a refresh 2 s after the last change\n"
        "                        to its folders, one line each on stderr. Without\n"
        "                        SEARCH, the searches marked \"Keep this playlist\n"
        "                        current\" in the window\n"
        "  --interval MINUTES    with --watch: how often a search that cannot be watched\n"
        "                        whole (watch limit, network file system) is refreshed\n"
        "                        anyway (default 10)\n"
        "  --quiet               with --compile, --refresh or --watch: write only errors\n"
        "                        to stderr\n"
        "  --format m3u|m3u8|pls with --compile: the playlist's format, whatever its name\n"
        "                        says (m3u8: UTF-8 with LF line ends)\n"
        "  --paths absolute|relative\n"
        "                        with --compile: entries as full paths, or relative to\n"
        "                        the playlist's folder where they can be\n"
        "  --extended            with --compile: #EXTINF lines with length, artist and\n"
        "                        title (M3U), TitleN and LengthN (PLS)\n"
        "  --unique              with --compile: keep only the first entry of each file\n"
        "  --explain FILE        with --compile: write to FILE, tab-separated, each file\n"
        "                        a filename mask matched: kept or dropped, and why\n"
        "  --counts FILE         with --compile or --refresh: write to FILE, tab-separated,\n"
        "                        what each rule does: section, entry, state, files\n"
        "                        matched, files decided (a block per search with --refresh)\n"
        "  --force               with --compile: replace an existing file that is not a\n"
        "                        playlist (or explain file) or that the filename masks\n"
        "                        select; the settings file is never written over\n"
        "  --no-index            read every file's tags; nothing is looked up in or\n"
        "                        remembered by the tag index ($XDG_CACHE_HOME/morvane/)\n"
        "  --screenshots FOLDER  render the welcome panel and every page to PNG files\n"
        "  --help, -h            show this text\n"
        "  --version             show the program's version\n"
        "\n"
        "Each option may be given once. Qt's own options (-platform, -style, ...) are\n"
        "passed on to Qt.\n");
}

const char* ProgramVersion() {
    return MORVANE_VERSION;
}

int RunHeadlessCompile(const std::string& SettingsFile, const std::string& PlaylistFile) {
    return RunHeadlessCompile(SettingsFile, PlaylistFile, THeadlessOutput::EveryStatus);
}

int RunHeadlessCompile(const std::string& SettingsFile, const std::string& PlaylistFile,
                       THeadlessOutput Output) {
    return RunHeadlessCompile(SettingsFile, PlaylistFile, Output, THeadlessOptions());
}

int RunHeadlessCompile(const std::string& SettingsFile, const std::string& PlaylistFile,
                       THeadlessOutput Output, const THeadlessOptions& Options) {
    THeadlessProgress Progress(Output);
    const auto PrintError = [&Progress](const std::string& Text) { Progress.Error(Text); };
    try {
        // A save a killed run left half done is put right before anything is read.
        for (const std::string& Message : RecoverInterruptedSavesWithMessages())
            PrintError(Message);
        const SettingsStore Store(SettingsFile);
        // What is wrong comes first; the wizard carries on with what could be
        // read, and so do we.
        if (!Store.LoadError().empty())
            PrintError(Store.LoadError());
        else if (!Store.Found())
            PrintError("cannot read settings file " + QuoteForMessage(SettingsFile, 1024) + ": " +
                       Store.ReadFailure());
        ReportMissingFolders(LoadCheckListSection(Store, "Folders"), Progress);
        const WizardSettings Settings = LoadAllSettings(Store);
        for (const std::string& Problem : Store.ValueProblems())
            PrintError(Problem);

        const bool SearchOk = SearchAdequate(Settings);
        const bool CriteriaOk = CriteriaAdequate(Settings);
        if (!SearchOk)
            PrintError(SearchInadequateMessage);
        if (!CriteriaOk)
            PrintError(CriteriaInadequateMessage);
        if (!SearchOk || !CriteriaOk)
            return 2;

        const PlaylistFormat Format = Options.Format.value_or(PlaylistFormatOf(PlaylistFile));
        // The options the wizard's Save last used, unless the command line says otherwise.
        TPlaylistOptions Chosen;
        Chosen.Paths = Options.Paths.value_or(
            Settings.RelativePlaylistPaths ? PlaylistPaths::Relative : PlaylistPaths::Absolute);
        Chosen.Extended = Options.Extended || Settings.ExtendedPlaylist;

        CompileJob Job = MakeCompileJob(Settings);
        Job.CollationLocale = SystemCollationLocale();
        // The outputs never go over the settings, over each other, or (without
        // --force) over a file that is not one of ours: checked before the search.
        std::vector<std::pair<std::string, TOutputKind>> Outputs = {
            {PlaylistFile, TOutputKind::Playlist}};
        if (!Options.ExplainFile.empty())
            Outputs.emplace_back(Options.ExplainFile, TOutputKind::Explain);
        if (!Options.CountsFile.empty())
            Outputs.emplace_back(Options.CountsFile, TOutputKind::Counts);
        for (const auto& [Target, Kind] : Outputs) {
            const std::string Clash = TargetIsSettingsFile(Target, Kind, SettingsFile);
            if (!Clash.empty()) {
                PrintError(Clash);
                return 2;
            }
        }
        if (!Options.ExplainFile.empty() && SameFile(PlaylistFile, Options.ExplainFile)) {
            PrintError("refusing to write the playlist " + QuoteForMessage(PlaylistFile, 1024) +
                       " and the explain file " + QuoteForMessage(Options.ExplainFile, 1024) +
                       ": they are one file");
            return 2;
        }
        for (const std::string& Other : {PlaylistFile, Options.ExplainFile})
            if (!Options.CountsFile.empty() && !Other.empty() &&
                SameFile(Other, Options.CountsFile)) {
                PrintError("refusing to write the counts file " +
                           QuoteForMessage(Options.CountsFile, 1024) + " over " +
                           QuoteForMessage(Other, 1024) + ": they are one file");
                return 2;
            }
        for (const auto& [Target, Kind] : Outputs) {
            const std::string Why =
                Options.Force ? std::string() : TargetIsForeign(Target, Kind, Job.FilenameMasks);
            if (!Why.empty()) {
                PrintError(ForeignTargetRefusal(Target, Kind, Why));
                return 2;
            }
        }
        // Declared before the index, whose thread may still warn while it closes.
        TIndexWarnings IndexWarnings;
        std::shared_ptr<TTagIndex> Index;
        if (Settings.RememberTags && !Options.NoIndex)
            Index =
                std::make_shared<TTagIndex>(TTagIndex::DefaultPath(), IndexWarnings.Collector());
        IndexWarnings.Tell(Progress);
        SearchReaders Readers;
        Readers.Index = Index;
        std::vector<TPlaylistEntry> Found;
        std::string Explained = ExplainHeader;
        SearchHooks Hooks;
        Hooks.ShowStatus = [&Progress](const std::string& Text) { Progress.Status(Text); };
        Hooks.Progress = [&Progress](const SearchProgress& Counts) { Progress.Update(Counts); };
        Hooks.FoundFile = [&Found](const TFileInfo& File) {
            Found.push_back({File.FileName, File.MediaInfo.Artist, File.MediaInfo.Title, -1});
        };
        if (!Options.ExplainFile.empty()) {
            Hooks.FoundFile = [&Found, &Explained, &Job](const TFileInfo& File) {
                Found.push_back({File.FileName, File.MediaInfo.Artist, File.MediaInfo.Title, -1});
                Explained +=
                    ExplainLine(File.FileName, File.Reason, Job.FilenameMasks, Job.Criteria);
            };
            Hooks.DroppedFile = [&Explained, &Job](const TFileInfo& File) {
                Explained +=
                    ExplainLine(File.FileName, File.Reason, Job.FilenameMasks, Job.Criteria);
            };
        }
        const SearchResult Result = RunSearch(Job, Hooks, Readers);
        IndexWarnings.Tell(Progress);
        if (Result.Outcome != SearchOutcome::Completed) {
            PrintError(Result.ErrorMessage);
            return 1;
        }
        Progress.Finish(FinishedCompilingMessage);
        // What the walk had to leave out is said once, whether or not the write succeeds.
        const std::string Unreadable = LeftOutSummary(Result);
        if (!Options.ExplainFile.empty()) {
            TWriteFailure Failure;
            if (!ReplaceFileContents(Options.ExplainFile, Explained, Failure)) {
                PrintError("Unable to write to " + QuoteForMessage(Options.ExplainFile, 1024) +
                           ": " + WriteFailureCause(Failure));
                return 1;
            }
        }
        if (Options.Unique) {
            std::vector<std::string> Paths;
            for (const TPlaylistEntry& Entry : Found)
                Paths.push_back(Entry.Path);
            const std::vector<std::size_t> Repeats = DuplicateRows(Paths);
            RemoveRows(Found, Repeats);
            Progress.Note(RemovedDuplicatesText(Repeats.size()));
        }
        if (Chosen.Extended)
            for (TPlaylistEntry& Entry : Found)
                Entry.DurationMs = ReadDurationRemembered(Index.get(), Entry.Path);
        try {
            const std::size_t LeftAbsolute = WritePlaylist(PlaylistFile, Found, Format, Chosen);
            if (LeftAbsolute > 0)
                Progress.Note(LeftAbsoluteText(LeftAbsolute));
        } catch (const std::exception& Error) {
            PrintError(Error.what());
            if (!Unreadable.empty())
                PrintError(Unreadable);
            return 1;
        }
        if (!Unreadable.empty())
            PrintError(Unreadable);
        // What the search learnt is written before the program ends (and
        // before the counts, which then need to read no file again).
        if (Index)
            Index->Flush();
        if (!Options.CountsFile.empty()) {
            TWriteFailure Failure;
            if (!ReplaceFileContents(Options.CountsFile,
                                     CountsText(CountSearchNow(Settings, Index.get()), Settings),
                                     Failure)) {
                PrintError("Unable to write to " + QuoteForMessage(Options.CountsFile, 1024) +
                           ": " + WriteFailureCause(Failure));
                return 1;
            }
        }
        IndexWarnings.Tell(Progress);
        return 0;
    } catch (const std::exception& Error) {
        PrintError(Error.what());
        return 1;
    }
}
