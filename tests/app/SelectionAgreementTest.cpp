// A search's order, limit, pick and caps, and the criteria of the More
// criteria page, give the same playlist and the same reasons in the search
// run, the headless compile, the refresh and the window; and a hand-written
// Years entry of no known form is reported.
#include "AppTestSupport.h"
#include "app/AppEntry.h"
#include "app/HeadlessProgress.h"
#include "app/HeadlessRefresh.h"
#include "app/Main.h"

#include "engine/CompileJob.h"
#include "panels/MediaFileCheckListFrame.h"
#include "settings/SearchFile.h"
#include "settings/SettingsStore.h"
#include "support/AudioBytes.h"
#include "support/TagBytes.h"

#include <QCheckBox>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using enum CheckState;
using enum CriterionState;

namespace {

std::string Tagged(const std::string& Artist, const std::string& Album, const std::string& Title,
                   const std::string& Track) {
    const std::string Frames =
        tagbytes::TextFrame(3, "TPE1", Artist) + tagbytes::TextFrame(3, "TALB", Album) +
        tagbytes::TextFrame(3, "TIT2", Title) + tagbytes::TextFrame(3, "TRCK", Track);
    return tagbytes::Tag(3, Frames) + std::string(64, '\x55');
}

struct TLibrary {
    TempDir Dir;
    TScriptedDialogs Dialogs{TScriptedDialogs::TUnscripted::Cancel};
    TScopedDialogs Scoped{Dialogs};
    std::string Music = Dir.str() + "/music";

    TLibrary() {
        Dir.write("music/1.mp3", Tagged("Nova", "Dawn", "n-d-2", "2"));
        Dir.write("music/2.mp3", Tagged("Arc", "Low", "a-l-1", "1"));
        Dir.write("music/3.mp3", Tagged("nova", "Dawn", "n-d-1", "1"));
        Dir.write("music/sub/4.mp3", Tagged("Arc", "High", "a-h-3", "3"));
        Dir.write("music/sub/5.mp3", Tagged("Arc", "Low", "a-l-10", "10"));
        Dir.write("music/sub/6.mp3", Tagged("Nova", "Dusk", "n-u-1", "1"));
        Dir.write("music/7.mp3", Tagged("Arc", "High", "a-h-1", "1"));
    }
    WizardSettings Search(const TSelectionTexts& Selection) const {
        WizardSettings settings;
        settings.Folders = {{Music, Checked}};
        settings.Filenames = {{"*.mp3", Checked}};
        settings.Criteria[FieldTitle] = {{"*", Include}};
        settings.Selection = Selection;
        settings.PlaylistPath = "refreshed.m3u";
        return settings;
    }
};

// The file name without folder and ".mp3": "sub/5" is "5".
std::string Short(const std::string& Path) {
    const std::size_t slash = Path.rfind('/');
    return Path.substr(slash + 1, Path.size() - slash - 5);
}

// The playlist of Settings by the search run, the headless compile, the
// refresh without a window and the window, each the Entries given (file
// names in playlist order), and the reasons of the files left out, sorted,
// in the search run and the window's Why column.
void ExpectOnePlaylist(const TempDir& Dir, const WizardSettings& Settings,
                       const std::vector<std::string>& Entries,
                       const std::vector<std::string>& Reasons) {
    TScriptedDialogs dialogs{TScriptedDialogs::TUnscripted::Cancel};
    TScopedDialogs scoped{dialogs};
    // The search run.
    std::vector<std::string> found, reasons;
    const CompileJob job = MakeCompileJob(Settings);
    SearchHooks hooks;
    hooks.FoundFile = [&found](const TFileInfo& File) { found.push_back(Short(File.FileName)); };
    hooks.DroppedFile = [&](const TFileInfo& File) {
        reasons.push_back(Short(File.FileName) + ": " + ReasonText(File.Reason, job.Criteria));
    };
    ASSERT_EQ(RunSearch(job, hooks).Outcome, SearchOutcome::Completed);
    EXPECT_EQ(found, Entries);
    std::sort(reasons.begin(), reasons.end());
    EXPECT_EQ(reasons, Reasons);

    // The headless compile of the same settings.
    const std::string settingsFile = Dir.str() + "/headless.ini";
    {
        SettingsStore store(QString::fromStdString(settingsFile));
        SaveAllSettings(store, Settings);
        store.Flush();
    }
    const std::string headless = Dir.str() + "/headless.m3u";
    ASSERT_EQ(RunHeadlessCompile(settingsFile, headless, THeadlessOutput::Quiet), 0);
    std::vector<std::string> headlessEntries;
    for (const std::string& line : PlaylistLines(headless))
        headlessEntries.push_back(Short(line));
    EXPECT_EQ(headlessEntries, Entries);

    // The refresh without a window.
    const std::string search = Dir.str() + "/kept.morvane";
    SaveSearchFile(search, Settings);
    std::string said;
    ASSERT_EQ(RunRefresh({search}, false, [&said](std::string_view Line) { said += Line; }), 0)
        << said;
    std::vector<std::string> refreshed;
    for (const std::string& line : PlaylistLines(Dir.str() + "/refreshed.m3u"))
        refreshed.push_back(Short(line));
    EXPECT_EQ(refreshed, Entries);

    // The window: the search opened and compiled; the list shows the kept
    // files in order and those left out among the dropped, with reasons.
    TMainForm form(Dir.str() + "/2.ini");
    form.ShowDroppedFiles->setChecked(true);
    ASSERT_TRUE(form.OpenSearch(search));
    form.CompileClick();
    ASSERT_TRUE(WaitFor([&form] { return form.CompileState() == TCompileState::Idle; }));
    std::vector<std::string> shown, shownReasons;
    const TCheckListModel& model = *form.Playlist->Model();
    for (int r = 0; r < model.Count(); ++r) {
        if (model.Dropped(r))
            shownReasons.push_back(Short(model.Caption(r)) + ": " +
                                   form.Playlist->WhyText(r).toStdString());
        else
            shown.push_back(Short(model.Caption(r)));
    }
    EXPECT_EQ(shown, Entries);
    std::sort(shownReasons.begin(), shownReasons.end());
    EXPECT_EQ(shownReasons, Reasons);
}

} // namespace

TEST(SelectionAgreement, SearchHeadlessRefreshAndWindowGiveOnePlaylist) {
    const struct {
        const char* Case;
        TSelectionTexts Selection;
        std::vector<std::string> Entries; // by file name, in playlist order
        std::vector<std::string> Reasons; // of the files left out, sorted
    } rows[] = {
        {"artist, album, track",
         {"Artist, Album, Track", "", "", "", "", ""},
         {"7", "4", "2", "5", "3", "1", "6"},
         {}},
        {"descending title",
         {"Title desc", "", "", "", "", ""},
         {"6", "1", "3", "5", "2", "4", "7"},
         {}},
        {"three files first",
         {"Artist, Album, Track", "", "3 files", "first", "", ""},
         {"7", "4", "2"},
         {"1: Dropped: over the 3-file limit", "3: Dropped: over the 3-file limit",
          "5: Dropped: over the 3-file limit", "6: Dropped: over the 3-file limit"}},
        {"caps of two per artist and one per album",
         {"Artist, Album, Track", "", "", "", "2", "1"},
         {"7", "2", "3", "6"},
         // The artist's cap is looked at first: 5 is Arc's third file.
         {"1: Dropped: second file of the album (at most 1 per album)",
          "4: Dropped: second file of the album (at most 1 per album)",
          "5: Dropped: third file of the artist (at most 2 per artist)"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Case);
        TLibrary lib;
        ExpectOnePlaylist(lib.Dir, lib.Search(row.Selection), row.Entries, row.Reasons);
    }
}

// The criteria of the More criteria page decide alike in the search run, the
// headless compile, the refresh and the window, with the same reasons: files
// of stated lengths (1:18, 3:55, none), modification times (2010, now), album
// artists and composers, MPEG audio or none behind the tag.
TEST(SelectionAgreement, MoreCriteriaGiveOnePlaylistEverywhere) {
    const auto Song = [](const std::string& Title, std::uint32_t Frames,
                         const std::string& AlbumArtist = "", const std::string& Composer = "") {
        std::string frames =
            tagbytes::TextFrame(3, "TIT2", Title) + tagbytes::TextFrame(3, "TPE1", "Nova");
        if (!AlbumArtist.empty())
            frames += tagbytes::TextFrame(3, "TPE2", AlbumArtist);
        if (!Composer.empty())
            frames += tagbytes::TextFrame(3, "TCOM", Composer);
        const std::string tag = tagbytes::Tag(3, frames);
        return Frames ? tag + audiobytes::XingFrame(Frames) + audiobytes::MpegFrames(2)
                      : tag + std::string(64, '\x55');
    };
    const struct {
        const char* Case;
        int Field;
        std::vector<CriterionEntry> Entries;
        std::vector<std::string> Found;   // by file name, in walk order
        std::vector<std::string> Reasons; // of the files dropped, sorted
    } rows[] = {
        {"short ones",
         FieldLength,
         {{"..2:30", Include}},
         {"1", "4"},
         {"2: Dropped: no criterion matches the tag", "3: Dropped: no criterion matches the tag"}},
        {"long ones left out",
         FieldLength,
         {{"2:30..", Exclude}, {"..0:10", Ignore}},
         {"1", "3", "4"},
         {"2: Dropped: Length matches \"2:30..\" (exclude); exclusion of media files takes "
          "precedence"}},
        {"written in 2010",
         FieldModified,
         {{"2010-01-01..2010-12-31", Include}},
         {"1"},
         {"2: Dropped: no criterion matches the tag", "3: Dropped: no criterion matches the tag",
          "4: Dropped: no criterion matches the tag"}},
        {"changed lately",
         FieldModified,
         {{"30 days", Include}},
         {"2", "3", "4"},
         {"1: Dropped: no criterion matches the tag"}},
        {"compilations left out",
         FieldAlbumArtist,
         {{"various*", Exclude}},
         {"2", "3", "4"},
         {"1: Dropped: Album Artist matches \"various*\" (exclude); exclusion of media files "
          "takes precedence"}},
        {"by a composer",
         FieldComposer,
         {{"*Bach*", Include}},
         {"1", "4"},
         {"2: Dropped: no criterion matches the tag", "3: Dropped: no criterion matches the tag"}},
        {"mp3 by content",
         FieldFormat,
         {{"MP3", Include}},
         {"1", "2", "4"},
         {"3: Dropped: no criterion matches the tag"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Case);
        TempDir dir;
        dir.write("music/1.mp3", Song("one", 3000, "Various Artists", "J. S. Bach"));
        dir.write("music/2.mp3", Song("two", 9000, "Nova"));
        dir.write("music/3.mp3", Song("three", 0));
        dir.write("music/sub/4.mp3", Song("four", 3000, "", "Bach"));
        const timespec june2010[2] = {{1275350400, 0}, {1275350400, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, (dir.str() + "/music/1.mp3").c_str(), june2010, 0), 0);
        WizardSettings settings;
        settings.Folders = {{dir.str() + "/music", Checked}};
        settings.Filenames = {{"*.mp3", Checked}};
        settings.Criteria[row.Field] = row.Entries;
        settings.PlaylistPath = "refreshed.m3u";
        // An exclude alone takes nothing: the rest is taken by every title,
        // and exclusion goes first.
        if (row.Entries.front().State == Exclude) {
            settings.Criteria[FieldTitle] = {{"*", Include}};
            settings.OrderRule = PrecedenceRule::ExclusionFirst;
        }
        ExpectOnePlaylist(dir, settings, row.Found, row.Reasons);
    }
}

// The headless compile says which Years (or Lengths) entry it could not read,
// on stderr, and keeps it as written: "19" is no year and matches no
// four-digit year.
TEST(SelectionAgreement, AMalformedYearEntryIsReportedNotReplaced) {
    TLibrary lib;
    WizardSettings settings = lib.Search({});
    settings.Criteria[FieldYear] = {{"19", Include}, {"1990..1999", Include}};
    settings.Criteria[FieldLength] = {{"3 min", Include}, {"..3:00", Ignore}};
    const std::string settingsFile = lib.Dir.str() + "/years.ini";
    {
        SettingsStore store(QString::fromStdString(settingsFile));
        SaveAllSettings(store, settings);
        store.Flush();
    }
    const std::string capture = lib.Dir.str() + "/stderr.txt";
    std::fflush(stderr);
    const int saved = dup(2);
    const int fd = open(capture.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 2);
    close(fd);
    const int status =
        RunHeadlessCompile(settingsFile, lib.Dir.str() + "/years.m3u", THeadlessOutput::Quiet);
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    EXPECT_EQ(status, 0);
    const std::string said = TempDir::read(capture);
    EXPECT_NE(said.find("[Years]: year criterion \"19\" is neither a year"), std::string::npos)
        << said;
    // Only the one entry: the range is a form it knows.
    EXPECT_EQ(said.find("year criterion \"1990"), std::string::npos) << said;
    EXPECT_EQ(said.find("year criterion"), said.rfind("year criterion")) << said;
    // A length entry of no known form is said as well (and matches nothing).
    EXPECT_NE(said.find("[Lengths]: length criterion \"3 min\" is not a range of lengths"),
              std::string::npos)
        << said;
    EXPECT_EQ(said.find("length criterion \"..3:00"), std::string::npos) << said;
    // The stored entry is still "19".
    SettingsStore store(QString::fromStdString(settingsFile));
    EXPECT_EQ(LoadAllSettings(store).Criteria[FieldYear][0].Caption, "19");
}
