#include "files/Paths.h"

#include <gtest/gtest.h>

#include <string>

TEST(Paths, FolderAndFileNameSplitAtTheLastSlash) {
    struct Case {
        std::string Path, Folder, FileName;
    };
    const Case cases[] = {
        {"/music/a.mp3", "/music", "a.mp3"},
        {"/a.mp3", "/", "a.mp3"},
        {"a.mp3", ".", "a.mp3"},
        {"rock/live/", "rock/live", ""},
        {"/music.d/track", "/music.d", "track"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FolderOf(c.Path), c.Folder) << c.Path;
        EXPECT_EQ(FileNameOf(c.Path), c.FileName) << c.Path;
    }
}

// Only the file name's last dot counts: a dot in a folder name is no extension.
TEST(Paths, ExtensionIsTheFileNamesLastDotOnward) {
    struct Case {
        std::string Path, Extension, Lower;
    };
    const Case cases[] = {
        {"/m/a.MP3", ".MP3", ".mp3"},
        {"/m/a.b/c", "", ""},
        {"/m/a.tar.Gz", ".Gz", ".gz"},
        {"noext", "", ""},
        {"/m/.hidden", ".hidden", ".hidden"},
        {"/m/a.", ".", "."},
        {"a.M\xC3\x84", ".M\xC3\x84", ".m\xC3\x84"}, // bytes beyond ASCII are kept as they are
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ExtensionOf(c.Path), c.Extension) << c.Path;
        EXPECT_EQ(LowerExtension(c.Path), c.Lower) << c.Path;
    }
}

TEST(Paths, HasExtensionIgnoresCaseAndFolders) {
    struct Case {
        std::string Path;
        bool Mp3;
    };
    const Case cases[] = {
        {"/m/a.mp3", true},  {"/m/a.MP3", true},      {"/m/a.mP3", true},   {"a.mp3", true},
        {"/m/a.mp4", false}, {"/m.mp3/a", false},     {"/m/a.mp33", false}, {"/m/amp3", false},
        {"/m/a.mp", false},  {"/m/a.mp3.txt", false}, {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HasExtension(c.Path, ".mp3"), c.Mp3) << c.Path;
}
