// In-place saves and their journal copies: what a later start does with a save
// that was cut short at each point, and kill -9 at random points of real saves.
#include "files/SaveJournal.h"
#include "files/SafeReplace.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using TOutcome = TInterruptedSave::TOutcome;

namespace {

// Points the journal folder into the test's own folder for as long as it lives.
class TScopedCache {
public:
    explicit TScopedCache(const std::string& Folder) {
        if (const char* value = std::getenv("XDG_CACHE_HOME"))
            previous_ = value;
        setenv("XDG_CACHE_HOME", Folder.c_str(), 1);
    }
    ~TScopedCache() {
        if (previous_.empty())
            unsetenv("XDG_CACHE_HOME");
        else
            setenv("XDG_CACHE_HOME", previous_.c_str(), 1);
    }

private:
    std::string previous_;
};

std::vector<std::string> JournalsIn(const std::string& Folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(Folder, error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Rewrites File's content where it is (the inode and its other names stay).
void PutContent(const std::string& File, const std::string& Bytes) {
    const int fd = open(File.c_str(), O_WRONLY | O_TRUNC);
    ASSERT_GE(fd, 0) << File;
    ASSERT_EQ(write(fd, Bytes.data(), Bytes.size()), static_cast<ssize_t>(Bytes.size()));
    close(fd);
}

// A save of New over File that a kill ended after Written bytes went in
// place: a child begins the journal, writes and exits without ending it.
void CutShortSave(const std::string& File, const std::string& New, size_t Written) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = open(File.c_str(), O_RDWR);
        TSaveJournal* journal = new TSaveJournal; // never ended, never closed: as if killed
        if (fd < 0 || !journal->Begin(fd, File, New))
            _exit(1);
        if (pwrite(fd, New.data(), Written, 0) != static_cast<ssize_t>(Written))
            _exit(2);
        if (Written == New.size() && ftruncate(fd, static_cast<off_t>(Written)) != 0)
            _exit(3);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

std::string Lines(const std::string& Word, size_t Bytes) {
    std::string text;
    for (size_t i = 0; text.size() < Bytes; ++i)
        text += "/music/" + Word + "/" + std::to_string(i) + ".mp3\r\n";
    return text;
}

} // namespace

TEST(SaveJournal, AStartPutsBackOrKeepsWhatAnInterruptedSaveLeft) {
    const std::string former = Lines("former", 3000);
    const std::string fresh = Lines("new", 5000);
    struct Case {
        const char* What;
        size_t Written;
        std::function<void(const std::string& File)> Afterwards;
        TOutcome Outcome;
        std::string Content; // of the file afterwards; the copy of a replaced one holds `former`
    };
    const Case cases[] = {
        {"cut before the first byte", 0, nullptr, TOutcome::Restored, former},
        {"cut part way", 2000, nullptr, TOutcome::Restored, former},
        {"cut past the former length", 4000, nullptr, TOutcome::Restored, former},
        {"cut after the last byte", fresh.size(), nullptr, TOutcome::Finished, fresh},
        {"file replaced since", 2000,
         [](const std::string& File) {
             std::ofstream(File + ".other", std::ios::binary) << "replacement";
             fs::rename(File + ".other", File);
         },
         TOutcome::Replaced, "replacement"},
        {"file removed since", 2000, [](const std::string& File) { fs::remove(File); },
         TOutcome::Replaced, ""},
    };
    for (const Case& c : cases) {
        TempDir dir;
        TScopedCache cache(dir.str() + "/cache");
        const std::string file = dir.write("music/list.m3u", former);
        ASSERT_EQ(link(file.c_str(), (dir.str() + "/music/second name.m3u").c_str()), 0);
        CutShortSave(file, fresh, c.Written);
        EXPECT_EQ(JournalsIn(dir.str() + "/cache/morvane").size(), 1u) << c.What;
        if (c.Afterwards)
            c.Afterwards(file);

        const std::vector<TInterruptedSave> found = RecoverInterruptedSaves();
        ASSERT_EQ(found.size(), 1u) << c.What;
        EXPECT_EQ(found[0].FileName, file) << c.What;
        EXPECT_EQ(found[0].Outcome, c.Outcome) << c.What;
        EXPECT_EQ(TempDir::read(file), c.Content) << c.What;
        if (c.Outcome == TOutcome::Replaced) {
            EXPECT_EQ(TempDir::read(found[0].KeptCopy), former) << c.What;
            EXPECT_EQ(JournalsIn(dir.str() + "/cache/morvane"),
                      std::vector<std::string>{fs::path(found[0].KeptCopy).filename().string()})
                << c.What;
        } else {
            EXPECT_EQ(TempDir::read(dir.str() + "/music/second name.m3u"), c.Content) << c.What;
            EXPECT_TRUE(JournalsIn(dir.str() + "/cache/morvane").empty()) << c.What;
        }
        // Nothing is left to do at the next start.
        EXPECT_TRUE(RecoverInterruptedSaves().empty()) << c.What;
    }
}

TEST(SaveJournal, ASaveUnderWayAndStrayFilesAreLeftAlone) {
    TempDir dir;
    TScopedCache cache(dir.str() + "/cache");
    const std::string file = dir.write("list.m3u", "former");
    const std::string journals = dir.str() + "/cache/morvane";
    // Files that are no journal copy, or a damaged one, do nothing.
    const std::vector<std::pair<std::string, std::string>> strays = {
        {"inplace-1-2", "not a journal"},
        {"inplace-3-4", "MORVANE-INPLACE-1\n5\n/etc/\n"},
        {"inplace-5-6", "MORVANE-INPLACE-1\n99\n/x\n0\n0\n0\n"},
        {"inplace-x-7", "MORVANE-INPLACE-1\n2\n/x\n0\n0\n0\n"},
        {"notes.txt", "hello"},
    };
    for (const auto& [name, bytes] : strays)
        dir.write("cache/morvane/" + name, bytes);
    EXPECT_TRUE(RecoverInterruptedSaves().empty());

    const int fd = open(file.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    {
        TSaveJournal journal;
        ASSERT_TRUE(journal.Begin(fd, file, "new"));
        ASSERT_EQ(pwrite(fd, "NE", 2, 0), 2);
        // Another start meanwhile (this process stands in for it) finds the copy locked.
        EXPECT_TRUE(RecoverInterruptedSaves().empty());
        EXPECT_EQ(TempDir::read(file), "NErmer");
        EXPECT_EQ(JournalsIn(journals).size(), strays.size() + 1);
        journal.End();
    }
    close(fd);
    EXPECT_EQ(JournalsIn(journals).size(), strays.size());
}

TEST(SaveJournal, NoRoomForTheCopyLeavesTheFileUntouched) {
    TempDir dir;
    const std::string file = dir.write("list.m3u", "former");
    ASSERT_EQ(link(file.c_str(), (dir.str() + "/other.m3u").c_str()), 0);
    // The cache folder cannot be made: a file stands where it would go.
    dir.write("cache", "a file");
    TScopedCache cache(dir.str() + "/cache");
    TWriteFailure failure;
    EXPECT_FALSE(ReplaceFileContents(file, "new content", failure));
    EXPECT_TRUE(failure.WhileKeepingFormer);
    EXPECT_EQ(WriteFailureCause(failure), "Folder not found while keeping a copy of the former "
                                          "file in " +
                                              dir.str() + "/cache/morvane");
    EXPECT_EQ(TempDir::read(file), "former");

    // With a cache folder the same save goes through and leaves no copy behind.
    TScopedCache usable(dir.str() + "/usable");
    EXPECT_TRUE(ReplaceFileContents(file, "new content", failure));
    EXPECT_EQ(TempDir::read(dir.str() + "/other.m3u"), "new content");
    EXPECT_TRUE(JournalsIn(dir.str() + "/usable/morvane").empty());
}

// kill -9 at random points of the writing of in-place saves of a 14.5 MB
// playlist over a 6 MB one, for a hard-linked file and for a file in a folder
// its user may not change; after each kill a start recovers. The file is always the
// former or the new playlist, never a mix.
TEST(SaveJournal, KillsAtRandomPointsOfInPlaceSavesLeaveTheFormerOrTheNewFile) {
    TempDir dir;
    fs::permissions(dir.path(), fs::perms::others_exec, fs::perm_options::add);
    const std::string former = Lines("former", 6 << 20);
    const std::string fresh = Lines("new", 14500000);

    const std::string linked = dir.write("linked/list.m3u", former);
    ASSERT_EQ(link(linked.c_str(), (dir.str() + "/linked/second name.m3u").c_str()), 0);
    const std::string locked = dir.write("locked/list.m3u", former);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_write |
                                fs::perms::others_read | fs::perms::others_write);
    fs::permissions(dir.path() / "locked", fs::perms::owner_read | fs::perms::owner_exec |
                                               fs::perms::others_read | fs::perms::others_exec);
    // Root may change any folder: its saves there run as an ordinary user.
    const bool dropUser = geteuid() == 0;

    // A save by a child process, as the user that may write File.
    auto startSave = [&](const std::string& File, bool AsUser) {
        const pid_t child = fork();
        if (child == 0) {
            if (AsUser && dropUser && (setgid(65534) != 0 || setuid(65534) != 0))
                _exit(3);
            TWriteFailure failure;
            _exit(ReplaceFileContents(File, fresh, failure) ? 0 : 1);
        }
        return child;
    };

    // Each user keeps the copies in a cache folder of its own.
    struct Target {
        std::string File;
        bool AsUser;
        std::string Cache;
    };
    const Target targets[] = {{linked, false, dir.str() + "/cache"},
                              {locked, true, dir.str() + "/user cache"}};
    std::random_device seed;
    const unsigned seedValue = seed();
    std::mt19937 random(seedValue);
    int rounds = 0, formerFound = 0, newFound = 0, mixed = 0, cutMidSave = 0;
    for (const Target& target : targets) {
        fs::create_directory(target.Cache);
        fs::permissions(target.Cache, fs::perms::all);
        TScopedCache cache(target.Cache);
        const std::string journals = target.Cache + "/morvane";
        // Starts a save and returns once its copy is in the journal folder,
        // that is when the writing over the file begins (or the save has ended).
        int status = 0;
        auto startWriting = [&](pid_t& Child) {
            Child = startSave(target.File, target.AsUser);
            bool ended = false;
            while (!ended && JournalsIn(journals).empty())
                ended = waitpid(Child, &status, WNOHANG) == Child;
            return ended;
        };
        // How long the writing takes, for the range of the kills. On a
        // loaded machine a save may come and go between two looks: a few tries.
        pid_t child = 0;
        bool seenWriting = false;
        for (int tries = 0; tries < 10 && !seenWriting; ++tries) {
            PutContent(target.File, former);
            seenWriting = !startWriting(child);
        }
        ASSERT_TRUE(seenWriting) << "no save was ever seen writing";
        const auto begin = std::chrono::steady_clock::now();
        ASSERT_EQ(waitpid(child, &status, 0), child);
        const auto writeTime = std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - begin);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << target.File << " " << status;
        ASSERT_EQ(TempDir::read(target.File), fresh);
        std::uniform_int_distribution<long> delay(0, writeTime.count() * 11 / 10);

        for (int round = 0; round < 12; ++round) {
            PutContent(target.File, former);
            if (!startWriting(child)) {
                std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
                kill(child, SIGKILL);
                ASSERT_EQ(waitpid(child, &status, 0), child);
            }
            cutMidSave += !JournalsIn(journals).empty();
            RecoverInterruptedSaves();
            const std::string found = TempDir::read(target.File);
            ++rounds;
            formerFound += found == former;
            newFound += found == fresh;
            const bool whole = found == former || found == fresh;
            mixed += !whole;
            EXPECT_TRUE(whole) << target.File << ", round " << round << ": " << found.size()
                               << " bytes, seed " << seedValue;
            EXPECT_TRUE(JournalsIn(journals).empty());
        }
    }
    std::cout << "kill test: " << rounds << " rounds, " << cutMidSave
              << " cut during a save, former " << formerFound << ", new " << newFound << ", mixed "
              << mixed << " (seed " << seedValue << ")\n";
    EXPECT_EQ(rounds, 24);
    EXPECT_EQ(mixed, 0);
    EXPECT_GT(cutMidSave, 0) << "no kill came while a save was under way";
}
