// The folder walk on its own: what each entry carries, what is entered, and
// that it lets every descriptor go however it ends.
#include "engine/FolderWalk.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

std::size_t OpenDescriptorCount() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

struct TSeen {
    unsigned char Type;
    std::int64_t Size;
    bool NameAtOffset;
    bool FolderFdOpensName;
};

std::map<std::string, TSeen> Walk(const std::string& Folder, bool Recurse,
                                  NotedPaths* Unreadable = nullptr) {
    std::map<std::string, TSeen> seen;
    WalkFolder(
        Folder, Recurse,
        [&](TFolderEntry& entry) {
            const std::string name = entry.Path.substr(entry.NameOffset);
            struct stat info;
            const bool opens =
                fstatat(entry.FolderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
            const std::string relative = entry.Path.substr(Folder.size() + 1);
            seen[relative] = {entry.Type, entry.Size, entry.Path.ends_with("/" + name), opens};
        },
        {Unreadable, nullptr});
    return seen;
}

} // namespace

TEST(FolderWalk, EntriesCarryTheirTypeNameOffsetAndAUsableFolder) {
    TempDir dir;
    dir.write("a.mp3", "12345");
    dir.write("sub/b.mp3", "x");
    fs::create_symlink(dir.path() / "a.mp3", dir.path() / "link.mp3");
    fs::create_symlink(dir.path() / "nowhere", dir.path() / "broken.mp3");
    ASSERT_EQ(mkfifo((dir.path() / "pipe.mp3").c_str(), 0644), 0);

    const std::map<std::string, TSeen> seen = Walk(dir.str(), true);
    ASSERT_EQ(seen.size(), 6u);
    for (const auto& [path, entry] : seen) {
        EXPECT_TRUE(entry.NameAtOffset) << path;
        EXPECT_TRUE(entry.FolderFdOpensName) << path;
    }
    // The listing's type is taken as it is; no size is asked for.
    EXPECT_EQ(seen.at("a.mp3").Type, DT_REG);
    EXPECT_EQ(seen.at("a.mp3").Size, -1);
    EXPECT_EQ(seen.at("sub").Type, DT_DIR);
    EXPECT_EQ(seen.at("sub/b.mp3").Type, DT_REG);
    EXPECT_EQ(seen.at("pipe.mp3").Type, DT_FIFO);
    // A link is resolved, and then its size is known; a broken one stays a link.
    EXPECT_EQ(seen.at("link.mp3").Type, DT_REG);
    EXPECT_EQ(seen.at("link.mp3").Size, 5);
    EXPECT_EQ(seen.at("broken.mp3").Type, DT_LNK);
}

TEST(FolderWalk, SubfoldersAreHandedOnAlwaysButEnteredOnlyWithRecurse) {
    TempDir dir;
    dir.write("a/b/c.mp3", "x");
    dir.write("d.mp3", "x");
    std::vector<std::string> flat, deep;
    for (const auto& [path, entry] : Walk(dir.str(), false))
        flat.push_back(path);
    for (const auto& [path, entry] : Walk(dir.str(), true))
        deep.push_back(path);
    EXPECT_EQ(flat, (std::vector<std::string>{"a", "d.mp3"}));
    EXPECT_EQ(deep, (std::vector<std::string>{"a", "a/b", "a/b/c.mp3", "d.mp3"}));
}

TEST(FolderWalk, MissingFolderIsNoLossButAFileGivenAsFolderIsNoneEither) {
    TempDir dir;
    const std::string file = dir.write("f.mp3", "x");
    NotedPaths unreadable;
    EXPECT_TRUE(Walk(dir.str() + "/missing", true, &unreadable).empty());
    EXPECT_TRUE(Walk(file, true, &unreadable).empty());
    EXPECT_EQ(unreadable.Count, 0u);
}

TEST(FolderWalk, UnreadableNotesCountEveryFolderButKeepTheFirstFew) {
    NotedPaths unreadable;
    for (int k = 0; k < 5; ++k)
        unreadable.Note("/f" + std::to_string(k));
    EXPECT_EQ(unreadable.Count, 5u);
    EXPECT_EQ(unreadable.FirstPaths, (std::vector<std::string>{"/f0", "/f1", "/f2"}));
}

TEST(FolderWalk, AThrowingStepUnwindsAndLeavesNoDescriptorOpen) {
    TempDir dir;
    // Deeper than the folders a walk holds, so some frames gave theirs up.
    std::string nested;
    for (int level = 0; level < 40; ++level) {
        dir.write(nested + "f.mp3", "x");
        nested += "d/";
    }
    const std::size_t before = OpenDescriptorCount();
    int handled = 0;
    EXPECT_THROW(WalkFolder(dir.str(), true,
                            [&](TFolderEntry&) {
                                if (++handled == 70)
                                    throw std::runtime_error("stop");
                            }),
                 std::runtime_error);
    EXPECT_EQ(handled, 70);
    EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST(FolderWalk, AHeldFolderStaysOpenAfterTheWalkUntilLetGo) {
    TempDir dir;
    dir.write("sub/a.mp3", "x");
    std::vector<std::shared_ptr<TOpenFolder>> held;
    WalkFolder(dir.str(), true, [&](TFolderEntry& entry) {
        if (entry.Type == DT_REG)
            held.push_back(entry.Folder);
    });
    ASSERT_EQ(held.size(), 1u);
    const int fd = held[0]->Fd();
    struct stat info;
    ASSERT_EQ(fstatat(fd, "a.mp3", &info, 0), 0);
    const std::size_t open = OpenDescriptorCount();
    held.clear();
    EXPECT_EQ(OpenDescriptorCount(), open - 1);
}
