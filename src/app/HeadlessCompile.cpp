// The compile without a window: the stored settings in, a playlist file out,
// progress and errors on stderr. Used by scripts and tests.
#include "app/AppEntry.h"

#include "engine/CompileJob.h"
#include "engine/Criteria.h"
#include "model/MessageText.h"
#include "playlists/PlaylistWriters.h"
#include "settings/SettingsStore.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>

namespace {

void PrintLine(const std::string& Text) {
    std::fwrite(Text.data(), 1, Text.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

// Checked search folders that the load will drop: the run may then have
// nothing to search, and the reason belongs before the "inadequate" line.
void ReportMissingFolders(const std::vector<CheckEntry>& Folders) {
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
            PrintLine("search folder " + QuoteForMessage(Entry.Caption, 1024) + ": " + Problem);
    }
}

} // namespace

QString UsageText() {
    return QStringLiteral(
        "Usage: morvane [--settings FILE] [--compile PLAYLIST | --screenshots FOLDER]\n"
        "       morvane --help | --version\n"
        "\n"
        "Without --compile, opens the playlist wizard.\n"
        "\n"
        "  --settings FILE       use FILE as the settings store instead of\n"
        "                        $MORVANE_SETTINGS or ~/.config/Morvane/2.ini\n"
        "  --compile PLAYLIST    run the search of the stored settings without a window\n"
        "                        and write the files found to PLAYLIST (PLS when its name\n"
        "                        ends in .pls, M3U otherwise); the settings file is only\n"
        "                        read. Progress goes to stderr. Exit status: 0 written,\n"
        "                        1 invalid mask or write error, 2 inadequate settings.\n"
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
    try {
        const SettingsStore Store(SettingsFile);
        // What is wrong comes first; the wizard carries on with what could be
        // read, and so do we.
        if (!Store.LoadError().empty())
            PrintLine(Store.LoadError());
        else if (!Store.Found())
            PrintLine("cannot read settings file " + QuoteForMessage(SettingsFile, 1024) + ": " +
                      Store.ReadFailure());
        ReportMissingFolders(LoadCheckListSection(Store, "Folders"));
        const WizardSettings Settings = LoadAllSettings(Store);

        const bool SearchOk = SearchAdequate(Settings);
        const bool CriteriaOk = CriteriaAdequate(Settings);
        if (!SearchOk)
            PrintLine(SearchInadequateMessage);
        if (!CriteriaOk)
            PrintLine(CriteriaInadequateMessage);
        if (!SearchOk || !CriteriaOk)
            return 2;

        std::vector<std::string> Found;
        SearchHooks Hooks;
        Hooks.ShowStatus = PrintLine;
        Hooks.FoundFile = [&Found](const TFileInfo& File) { Found.push_back(File.FileName); };
        const SearchResult Result = RunSearch(MakeCompileJob(Settings), Hooks);
        if (Result.Outcome != SearchOutcome::Completed) {
            PrintLine(Result.ErrorMessage);
            return 1;
        }
        PrintLine(FinishedCompilingMessage);
        // What the walk had to leave out is said once, whether or not the write succeeds.
        const std::string Unreadable = UnreadableFoldersSummary(Result.Unreadable);
        try {
            if (IsPlsFileName(PlaylistFile))
                WritePLSPlaylist(PlaylistFile, Found);
            else
                WriteM3UPlaylist(PlaylistFile, Found);
        } catch (const std::exception& Error) {
            PrintLine(Error.what());
            if (!Unreadable.empty())
                PrintLine(Unreadable);
            return 1;
        }
        if (!Unreadable.empty())
            PrintLine(Unreadable);
        return 0;
    } catch (const std::exception& Error) {
        PrintLine(Error.what());
        return 1;
    }
}
