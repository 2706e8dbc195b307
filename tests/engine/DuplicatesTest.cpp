// Duplicates: later rows of one file (through links, other spellings, missing
// files), and search folders listed twice or inside another.
#include "engine/Duplicates.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

TEST(DuplicatesTest, LaterRowsOfTheSameFileAreFoundThroughLinksAndSpellings) {
    TempDir Dir;
    const std::string A = Dir.write("music/a.mp3", "a");
    const std::string B = Dir.write("music/b.mp3", "b");
    const std::string Linked = Dir.str() + "/link.mp3";
    ASSERT_EQ(symlink(A.c_str(), Linked.c_str()), 0);
    const std::string LinkedFolder = Dir.str() + "/alias";
    ASSERT_EQ(symlink((Dir.str() + "/music").c_str(), LinkedFolder.c_str()), 0);
    const std::string Hard = Dir.str() + "/hard.mp3";
    ASSERT_EQ(link(B.c_str(), Hard.c_str()), 0);
    const std::string Missing = Dir.str() + "/gone.mp3";

    const std::vector<std::string> Rows = {
        A,                                   // 0 first of a
        B,                                   // 1 first of b
        Linked,                              // 2 a through a file link
        LinkedFolder + "/a.mp3",             // 3 a through a folder link
        Dir.str() + "/music/../music/a.mp3", // 4 a spelt otherwise
        Hard,                                // 5 b through a hard link
        Missing,                             // 6 first of a missing file
        Missing,                             // 7 the same missing path
        Missing + "x",                       // 8 another missing path
        B,                                   // 9 b again
    };
    EXPECT_EQ(DuplicateRows(Rows), (std::vector<std::size_t>{2, 3, 4, 5, 7, 9}));
    EXPECT_TRUE(DuplicateRows({}).empty());
    EXPECT_TRUE(DuplicateRows({A, B, Missing}).empty());
}

TEST(DuplicatesTest, FoldersListedTwiceOrInsideAnother) {
    TempDir Dir;
    std::filesystem::create_directories(Dir.path() / "music/rock/old");
    std::filesystem::create_directories(Dir.path() / "musical");
    const std::string Music = Dir.str() + "/music", Rock = Music + "/rock";
    const std::string Alias = Dir.str() + "/alias";
    ASSERT_EQ(symlink(Music.c_str(), Alias.c_str()), 0);

    struct Case {
        const char* Name;
        std::vector<std::string> Folders;
        bool Recurse;
        std::vector<std::string> Expected;
    };
    const Case Cases[] = {
        {"distinct folders", {Music, Dir.str() + "/musical"}, true, {}},
        {"twice, once with a trailing delimiter",
         {Music, Music + "/"},
         true,
         {Music + "/ is listed twice; its files will be found twice"}},
        {"twice through a link",
         {Alias, Music},
         false,
         {Music + " is listed twice; its files will be found twice"}},
        {"a subfolder after its parent",
         {Music, Rock + "/old"},
         true,
         {Rock + "/old is inside " + Music + "; its files will be found twice"}},
        {"a subfolder before its parent",
         {Rock, Alias},
         true,
         {Rock + " is inside " + Alias + "; its files will be found twice"}},
        {"subfolders only count when they are searched", {Music, Rock}, false, {}},
        {"a name that only starts alike is not inside", {Music, Dir.str() + "/musical"}, true, {}},
        {"a missing folder is left out", {Music, Music + "/none", Dir.str() + "/none"}, true, {}},
        {"the root holds everything",
         {"/", Music},
         true,
         {Music + " is inside /; its files will be found twice"}},
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.Name);
        std::vector<std::string> Got;
        for (const TFolderOverlap& Overlap : FolderOverlaps(C.Folders, C.Recurse))
            Got.push_back(FolderOverlapText(Overlap, C.Folders));
        EXPECT_EQ(Got, C.Expected);
    }
}
