// The user's changes kept with a search: removed files left out and added
// files appended by every later compile, alike in the search run, the
// refresh without a window and the window; and the window turning what the
// user did to a compiled list into those changes.
#include "AppTestSupport.h"
#include "app/HeadlessRefresh.h"
#include "app/Main.h"

#include "engine/CompileJob.h"
#include "panels/MediaFileCheckListFrame.h"
#include "settings/SearchFile.h"
#include "settings/SettingsStore.h"
#include "support/TagBytes.h"

#include <QCheckBox>

#include <gtest/gtest.h>

using enum CheckState;
using enum CriterionState;

namespace {

std::string Tagged(const std::string& Title) {
    return tagbytes::Tag(3, tagbytes::TextFrame(3, "TIT2", Title)) + std::string(64, '\x55');
}

// A library a, b, c found by the rules, and y, z outside it to add by hand.
struct TPruneLibrary {
    TempDir Dir;
    TScriptedDialogs Dialogs{TScriptedDialogs::TUnscripted::Cancel};
    TScopedDialogs Scoped{Dialogs};
    std::string Music = Dir.str() + "/music";
    std::string A = Dir.write("music/a.mp3", Tagged("A"));
    std::string B = Dir.write("music/b.mp3", Tagged("B"));
    std::string C = Dir.write("music/c.mp3", Tagged("C"));
    std::string Y = Dir.write("other/y.mp3", Tagged("Y"));
    std::string Z = Dir.write("other/z.mp3", Tagged("Z"));

    std::string Path(const std::string& Name) const {
        if (Name == "a" || Name == "b" || Name == "c")
            return Music + "/" + Name + ".mp3";
        return Dir.str() + "/other/" + Name + ".mp3";
    }
    WizardSettings Search(bool Twice) const {
        WizardSettings settings;
        settings.Folders = {{Music, Checked}};
        if (Twice)
            settings.Folders.push_back({Music, Checked});
        settings.Filenames = {{"*.mp3", Checked}};
        settings.Criteria[FieldTitle] = {{"*", Include}};
        return settings;
    }
};

} // namespace

TEST(Prunes, RemovedAndAddedFilesAreAppliedAlikeByTheSearchTheRefreshAndTheWindow) {
    const struct {
        const char* Case;
        std::vector<std::string> Removed, Added;
        bool Twice, Unique;
        std::vector<std::string> Entries;        // the playlist
        std::vector<std::string> RemovedDropped; // dropped as removed by you
    } rows[] = {
        {"nothing kept", {}, {}, false, false, {"a", "b", "c"}, {}},
        {"a removed file", {"b"}, {}, false, false, {"a", "c"}, {"b"}},
        {"a removed file gone from disk", {"gone"}, {}, false, false, {"a", "b", "c"}, {}},
        {"added files, in the order added",
         {},
         {"z", "y"},
         false,
         false,
         {"a", "b", "c", "z", "y"},
         {}},
        {"an added file gone from disk", {}, {"gone", "z"}, false, false, {"a", "b", "c", "z"}, {}},
        {"an added file the rules find too",
         {},
         {"a", "z"},
         false,
         false,
         {"a", "b", "c", "z"},
         {}},
        {"a removed path found twice", {"b"}, {}, true, false, {"a", "c", "a", "c"}, {"b", "b"}},
        {"unique on", {"b"}, {"z"}, true, true, {"a", "c", "z"}, {"b", "b"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Case);
        TPruneLibrary lib;
        WizardSettings settings = lib.Search(row.Twice);
        for (const std::string& name : row.Removed)
            settings.RemovedPaths.push_back(lib.Path(name));
        for (const std::string& name : row.Added)
            settings.AddedPaths.push_back(lib.Path(name));
        settings.PlaylistUnique = row.Unique;
        settings.PlaylistPath = "refreshed.m3u";
        std::vector<std::string> entries;
        for (const std::string& name : row.Entries)
            entries.push_back(lib.Path(name));
        std::vector<std::string> removedDropped;
        for (const std::string& name : row.RemovedDropped)
            removedDropped.push_back(lib.Path(name));

        // The search run: what it hands over and what it drops as removed.
        std::vector<std::string> found, dropped;
        SearchHooks hooks;
        hooks.FoundFile = [&found](const TFileInfo& File) { found.push_back(File.FileName); };
        hooks.DroppedFile = [&dropped](const TFileInfo& File) {
            if (File.Reason.Kind == TReasonKind::RemovedByYou)
                dropped.push_back(File.FileName);
        };
        ASSERT_EQ(RunSearch(MakeCompileJob(settings), hooks).Outcome, SearchOutcome::Completed);
        EXPECT_EQ(dropped, removedDropped);
        if (!row.Unique) {
            EXPECT_EQ(found, entries);
        }

        // The refresh without a window.
        const std::string search = lib.Dir.str() + "/kept.morvane";
        SaveSearchFile(search, settings);
        std::string said;
        ASSERT_EQ(RunRefresh({search}, false, [&said](std::string_view Line) { said += Line; }), 0)
            << said;
        EXPECT_EQ(PlaylistLines(lib.Dir.str() + "/refreshed.m3u"), entries);

        // The window: the same search opened, compiled and saved.
        TMainForm form(lib.Dir.str() + "/2.ini");
        form.ShowDroppedFiles->setChecked(true);
        ASSERT_TRUE(form.OpenSearch(search));
        form.CompileClick();
        ASSERT_TRUE(WaitFor([&form] { return form.CompileState() == TCompileState::Idle; }));
        std::vector<std::string> shownDropped;
        const TCheckListModel& model = *form.Playlist->Model();
        for (int r = 0; r < model.Count(); ++r)
            if (model.Dropped(r) && form.Playlist->WhyText(r) == "Dropped: removed by you")
                shownDropped.push_back(model.Caption(r));
        EXPECT_EQ(shownDropped, removedDropped);
        const std::string saved = lib.Dir.str() + "/saved.m3u";
        lib.Dialogs.SaveNames.push_back(saved);
        form.SaveClick();
        EXPECT_EQ(PlaylistLines(saved), entries);
        // Nothing was changed by hand: the search keeps its lists as they were.
        ASSERT_TRUE(form.SaveSearchClick());
        const TLoadedSearch kept = LoadSearchFile(search);
        EXPECT_EQ(kept.Settings.RemovedPaths, settings.RemovedPaths);
        EXPECT_EQ(kept.Settings.AddedPaths, settings.AddedPaths);
    }
}

TEST(Prunes, TheWindowKeepsWhatTheUserUncheckedRemovedAndAddedUntilItIsForgotten) {
    TPruneLibrary lib;
    const std::string search = lib.Dir.str() + "/kept.morvane";
    SaveSearchFile(search, lib.Search(false));
    TMainForm form(lib.Dir.str() + "/2.ini");
    ASSERT_TRUE(form.OpenSearch(search));
    const auto compile = [&form, &lib] {
        // The list of the compile before goes without a word.
        if (form.PlaylistUnsaved())
            lib.Dialogs.DiscardAnswers.push_back(TDiscardAnswer::Discard);
        form.CompileClick();
        return form.CompileState() == TCompileState::Running &&
               WaitFor([&form] { return form.CompileState() == TCompileState::Idle; });
    };
    const auto rowOf = [&form](const std::string& Path) {
        const TCheckListModel& model = *form.Playlist->Model();
        for (int r = 0; r < model.Count(); ++r)
            if (!model.Dropped(r) && model.Caption(r) == Path)
                return r;
        return -1;
    };
    ASSERT_TRUE(compile());
    form.Playlist->SetChecked(rowOf(lib.B), false);
    form.Playlist->RemoveEntry(rowOf(lib.C));
    lib.Dialogs.OpenNames.push_back(lib.Z);
    form.Playlist->AddExecute();
    lib.Dialogs.OpenNames.push_back(lib.Y);
    form.Playlist->AddExecute();
    form.Playlist->SetChecked(rowOf(lib.Y), false); // added, then unchecked: not kept
    ASSERT_TRUE(form.SaveSearchClick());
    {
        const TLoadedSearch kept = LoadSearchFile(search);
        EXPECT_EQ(kept.Settings.RemovedPaths, (std::vector<std::string>{lib.B, lib.C}));
        EXPECT_EQ(kept.Settings.AddedPaths, (std::vector<std::string>{lib.Z}));
    }

    // The next compile applies them; checking a removed file again takes it
    // out of the removed ones.
    ASSERT_TRUE(compile());
    EXPECT_EQ(rowOf(lib.B), -1);
    EXPECT_EQ(rowOf(lib.C), -1);
    ASSERT_GE(rowOf(lib.Z), 0);
    lib.Dialogs.OpenNames.push_back(lib.C);
    form.Playlist->AddExecute();
    ASSERT_TRUE(form.SaveSearchClick());
    {
        const TLoadedSearch kept = LoadSearchFile(search);
        EXPECT_EQ(kept.Settings.RemovedPaths, (std::vector<std::string>{lib.B}));
        EXPECT_EQ(kept.Settings.AddedPaths, (std::vector<std::string>{lib.Z}));
    }

    form.ForgetChangesClick();
    EXPECT_TRUE(form.SearchModified());
    ASSERT_TRUE(form.SaveSearchClick());
    const SettingsStore store(search);
    EXPECT_FALSE(store.SectionExists("Removed"));
    EXPECT_FALSE(store.SectionExists("Added"));
    ASSERT_TRUE(compile());
    EXPECT_GE(rowOf(lib.B), 0);
    EXPECT_GE(rowOf(lib.C), 0);
    EXPECT_EQ(rowOf(lib.Z), -1);
}
