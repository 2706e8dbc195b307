// The M3U and PLS writers on real files: exact bytes, replacement, failures.
#include "playlists/PlaylistWriters.h"
#include "support/FileSizeLimit.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using Writer = void (*)(const std::string&, const std::vector<std::string>&);

// The message a writer throws, or "" when it succeeds.
std::string MessageOf(Writer Write, const std::string& FileName,
                      const std::vector<std::string>& Entries) {
    try {
        Write(FileName, Entries);
    } catch (const EPlaylistWriteError& error) {
        return error.what();
    }
    return "";
}

std::vector<std::string> FolderListing(const TempDir& Dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Dir.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

mode_t ModeOf(const std::string& Path) {
    struct stat info {};
    EXPECT_EQ(stat(Path.c_str(), &info), 0);
    return info.st_mode & 07777;
}

// Runs the writer where files may not grow beyond Limit bytes; its message, if any.
std::string MessageUnderSizeLimit(Writer Write, const std::string& FileName,
                                  const std::vector<std::string>& Entries, rlim_t Limit) {
    return RunUnderFileSizeLimit(Limit, [&] { return MessageOf(Write, FileName, Entries); });
}

std::vector<std::string> NumberedEntries(int Count) {
    std::vector<std::string> entries;
    for (int i = 1; i <= Count; ++i)
        entries.push_back("/music/track " + std::to_string(i) + ".mp3");
    return entries;
}

} // namespace

TEST(PlaylistWriters, WriteExactBytesOfBothFormats) {
    TempDir dir;
    const std::vector<std::string> entries = {"C:\\Music\\a.mp3", "D:\\b.ogg"};
    WriteM3UPlaylist(dir.str() + "/list.m3u", entries);
    WritePLSPlaylist(dir.str() + "/list.pls", entries);
    EXPECT_EQ(TempDir::read(dir.str() + "/list.m3u"),
              "#EXTM3U\r\nC:\\Music\\a.mp3\r\nD:\\b.ogg\r\n");
    EXPECT_EQ(TempDir::read(dir.str() + "/list.pls"),
              "[playlist]\r\nVersion=2\r\nNumberOfEntries=2\r\n"
              "File1=C:\\Music\\a.mp3\r\nFile2=D:\\b.ogg\r\n");
}

TEST(PlaylistWriters, EmptyListGivesHeaderOnly) {
    TempDir dir;
    WriteM3UPlaylist(dir.str() + "/empty.m3u", {});
    WritePLSPlaylist(dir.str() + "/empty.pls", {});
    EXPECT_EQ(TempDir::read(dir.str() + "/empty.m3u"), "#EXTM3U\r\n");
    EXPECT_EQ(TempDir::read(dir.str() + "/empty.pls"),
              "[playlist]\r\nVersion=2\r\nNumberOfEntries=0\r\n");
}

TEST(PlaylistWriters, EntriesAreWrittenAsPassedByteForByte) {
    TempDir dir;
    // A repeat, a Latin-1 byte, bytes that are not UTF-8, an equals sign, a space.
    const std::vector<std::string> entries = {"/m/a.mp3", "/m/a.mp3", "/m/caf\xe9.mp3",
                                              "/m/\xff\xfe\x80.mp3", "/m/x=y z.mp3"};
    WriteM3UPlaylist(dir.str() + "/raw.m3u", entries);
    WritePLSPlaylist(dir.str() + "/raw.pls", entries);
    EXPECT_EQ(TempDir::read(dir.str() + "/raw.m3u"),
              "#EXTM3U\r\n/m/a.mp3\r\n/m/a.mp3\r\n/m/caf\xe9.mp3\r\n/m/\xff\xfe\x80.mp3\r\n"
              "/m/x=y z.mp3\r\n");
    EXPECT_EQ(TempDir::read(dir.str() + "/raw.pls"),
              "[playlist]\r\nVersion=2\r\nNumberOfEntries=5\r\nFile1=/m/a.mp3\r\nFile2=/m/a.mp3\r\n"
              "File3=/m/caf\xe9.mp3\r\nFile4=/m/\xff\xfe\x80.mp3\r\nFile5=/m/x=y z.mp3\r\n");

    // Numbering is decimal without padding: twelve entries end with File12.
    WritePLSPlaylist(dir.str() + "/twelve.pls", NumberedEntries(12));
    const std::string twelve = TempDir::read(dir.str() + "/twelve.pls");
    EXPECT_NE(twelve.find("NumberOfEntries=12\r\n"), std::string::npos);
    EXPECT_NE(twelve.find("\r\nFile10=/music/track 10.mp3\r\n"), std::string::npos);
    EXPECT_TRUE(twelve.ends_with("\r\nFile12=/music/track 12.mp3\r\n"));
}

TEST(PlaylistWriters, LineBreaksInNamesBecomeFileUrisSoEachEntryIsOneLine) {
    TempDir dir;
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    const std::vector<std::string> entries = {"/m/ok \xe9.mp3", "/m/song\n#EXTINF:1,x\nx.mp3",
                                              "/m/cr\rname \xc3\xa9%.mp3", "rel\nname.mp3"};
    const std::vector<std::string> lines = {
        "/m/ok \xe9.mp3", "file:///m/song%0A%23EXTINF%3A1%2Cx%0Ax.mp3",
        "file:///m/cr%0Dname%20%C3%A9%25.mp3", "file://" + std::string(cwd) + "/rel%0Aname.mp3"};
    // Split on CR LF only: any other CR or LF left in a line would show.
    auto Lines = [](const std::string& Text) {
        std::vector<std::string> out;
        for (std::size_t start = 0; start < Text.size();) {
            const std::size_t end = Text.find("\r\n", start);
            out.push_back(Text.substr(start, end - start));
            start = end == std::string::npos ? Text.size() : end + 2;
        }
        return out;
    };
    WriteM3UPlaylist(dir.str() + "/x.m3u", entries);
    std::vector<std::string> expected = {"#EXTM3U"};
    expected.insert(expected.end(), lines.begin(), lines.end());
    EXPECT_EQ(Lines(TempDir::read(dir.str() + "/x.m3u")), expected);
    WritePLSPlaylist(dir.str() + "/x.pls", entries);
    expected = {"[playlist]", "Version=2", "NumberOfEntries=4"};
    for (std::size_t k = 0; k < lines.size(); ++k)
        expected.push_back("File" + std::to_string(k + 1) + "=" + lines[k]);
    EXPECT_EQ(Lines(TempDir::read(dir.str() + "/x.pls")), expected);
    for (const char* name : {"/x.m3u", "/x.pls"}) {
        const std::string text = TempDir::read(dir.str() + name);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'),
                  std::count(text.begin(), text.end(), '\r'))
            << name;
    }
}

TEST(PlaylistWriters, OverwritingLongerFileLeavesNoTraceOfIt) {
    TempDir dir;
    const std::string pls = dir.str() + "/list.pls";
    const std::string m3u = dir.str() + "/list.m3u";
    WritePLSPlaylist(pls, NumberedEntries(10));
    WriteM3UPlaylist(m3u, NumberedEntries(10));
    const std::vector<std::string> five = NumberedEntries(5);
    WritePLSPlaylist(pls, five);
    WriteM3UPlaylist(m3u, five);

    std::string expectedPls = "[playlist]\r\nVersion=2\r\nNumberOfEntries=5\r\n";
    std::string expectedM3u = "#EXTM3U\r\n";
    for (int k = 1; k <= 5; ++k) {
        expectedPls += "File" + std::to_string(k) + "=" + five[k - 1] + "\r\n";
        expectedM3u += five[k - 1] + "\r\n";
    }
    EXPECT_EQ(TempDir::read(pls), expectedPls);
    EXPECT_EQ(TempDir::read(m3u), expectedM3u);
    EXPECT_EQ(FolderListing(dir), (std::vector<std::string>{"list.m3u", "list.pls"}));
}

TEST(PlaylistWriters, BothFormatsGiveTheSameMessageForTheSameCause) {
    TempDir dir;
    dir.write("plain", "x");
    fs::create_directory(dir.path() / "folder.m3u");
    fs::create_symlink("loop2.m3u", dir.path() / "loop1.m3u");
    fs::create_symlink("loop1.m3u", dir.path() / "loop2.m3u");
    const struct {
        std::string FileName, Cause;
    } Rows[] = {
        {dir.str() + "/no such folder/list.m3u", "Folder not found"},
        {dir.str() + "/plain/list.m3u", "Folder not found"}, // a file where a folder should be
        {dir.str() + "/folder.m3u", "File access denied"},   // a folder where the file should be
        {dir.str() + "/" + std::string(300, 'n') + ".m3u", "Invalid filename"},
        {dir.str() + "/loop1.m3u", "Invalid filename"},
    };
    for (const auto& Row : Rows) {
        const std::string expected = "Unable to write to " + Row.FileName + ": " + Row.Cause;
        EXPECT_EQ(MessageOf(WriteM3UPlaylist, Row.FileName, {"/a.mp3"}), expected);
        EXPECT_EQ(MessageOf(WritePLSPlaylist, Row.FileName, {"/a.mp3"}), expected);
    }
    EXPECT_EQ(MessageOf(WriteM3UPlaylist, "", {}), "File not found");
    EXPECT_EQ(MessageOf(WritePLSPlaylist, "", {}), "File not found");
    EXPECT_EQ(FolderListing(dir),
              (std::vector<std::string>{"folder.m3u", "loop1.m3u", "loop2.m3u", "plain"}));
    EXPECT_TRUE(fs::is_empty(dir.path() / "folder.m3u"));
}

TEST(PlaylistWriters, FailedWriteLeavesFormerFileIntactAndNoSideFile) {
    TempDir dir;
    const std::string former(1000, 'F');
    const std::string m3u = dir.write("list.m3u", former);
    const std::string pls = dir.write("list.pls", former);
    const std::vector<std::string> entries = NumberedEntries(50); // well over 64 bytes

    // A full disk (the file may not grow) says so in both formats.
    EXPECT_EQ(MessageUnderSizeLimit(WriteM3UPlaylist, m3u, entries, 64),
              "Unable to write to " + m3u + ": Disk full");
    EXPECT_EQ(MessageUnderSizeLimit(WritePLSPlaylist, pls, entries, 64),
              "Unable to write to " + pls + ": Disk full");
    EXPECT_EQ(TempDir::read(m3u), former);
    EXPECT_EQ(TempDir::read(pls), former);
    EXPECT_EQ(FolderListing(dir), (std::vector<std::string>{"list.m3u", "list.pls"}));

    // A new name that fails part way is not left behind half written.
    const std::string fresh = dir.str() + "/fresh.m3u";
    EXPECT_EQ(MessageUnderSizeLimit(WriteM3UPlaylist, fresh, entries, 64),
              "Unable to write to " + fresh + ": Disk full");
    EXPECT_FALSE(fs::exists(fresh));
    EXPECT_EQ(FolderListing(dir).size(), 2u);

    // The same write within the limit succeeds, so the limit was what failed it.
    EXPECT_EQ(MessageUnderSizeLimit(WriteM3UPlaylist, m3u, entries, 1 << 20), "");
    EXPECT_EQ(TempDir::read(m3u).substr(0, 9), "#EXTM3U\r\n");
}

// Whether process Pid has a file below Folder open (not Folder itself).
bool HasFileOpenBelow(pid_t Pid, const std::string& Folder) {
    std::error_code error;
    const std::string fds = "/proc/" + std::to_string(Pid) + "/fd";
    for (const auto& entry : fs::directory_iterator(fds, error)) {
        const std::string target = fs::read_symlink(entry.path(), error).string();
        if (!error && target.starts_with(Folder + "/"))
            return true;
    }
    return false;
}

TEST(PlaylistWriters, KillDuringASaveLeavesNoSideFileAndAWholeFile) {
    TempDir dir;
    // About 30 MB, so that a save takes a while.
    std::vector<std::string> entries;
    for (int i = 0; i < 150000; ++i)
        entries.push_back("/music/" + std::string(180, static_cast<char>('a' + i % 26)) +
                          std::to_string(i) + ".mp3");
    const std::string target = dir.str() + "/big.m3u";
    WriteM3UPlaylist(dir.str() + "/reference.m3u", entries);
    const std::string whole = TempDir::read(dir.str() + "/reference.m3u");
    fs::remove(dir.path() / "reference.m3u");
    WriteM3UPlaylist(target, {"/former.mp3"});
    const std::string former = TempDir::read(target);
    int killedMidway = 0;
    // Five rounds, and more (up to twenty) while no kill has yet come in the
    // middle of a save: on a loaded machine the child may be seen late.
    for (int round = 0; round < 5 || (killedMidway == 0 && round < 20); ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            WriteM3UPlaylist(target, entries);
            _exit(0);
        }
        // Killed once the new file is open in the folder, a little later each round.
        bool opened = false;
        int status = 0;
        while (!opened && waitpid(child, &status, WNOHANG) == 0)
            opened = HasFileOpenBelow(child, dir.str());
        if (opened) {
            std::this_thread::sleep_for(std::chrono::milliseconds(round % 5 * 3));
            kill(child, SIGKILL);
            ASSERT_EQ(waitpid(child, &status, 0), child);
        }
        const std::string found = TempDir::read(target);
        EXPECT_TRUE(found == former || found == whole) << "round " << round;
        killedMidway += opened && WIFSIGNALED(status) && found == former;
        EXPECT_EQ(FolderListing(dir), std::vector<std::string>{"big.m3u"}) << "round " << round;
    }
    EXPECT_GT(killedMidway, 0) << "no kill came while a save was under way";
}

TEST(PlaylistWriters, HardLinkedTargetsAndReadOnlyFoldersAreWrittenInPlace) {
    TempDir dir;
    const std::string target = dir.write("list.m3u", "old");
    const std::string other = dir.str() + "/other name.m3u";
    ASSERT_EQ(link(target.c_str(), other.c_str()), 0);
    struct stat before {};
    ASSERT_EQ(stat(target.c_str(), &before), 0);
    WriteM3UPlaylist(target, {"/a.mp3"});
    EXPECT_EQ(TempDir::read(other), "#EXTM3U\r\n/a.mp3\r\n");
    WritePLSPlaylist(other, {"/b.mp3"});
    const std::string pls = "[playlist]\r\nVersion=2\r\nNumberOfEntries=1\r\nFile1=/b.mp3\r\n";
    EXPECT_EQ(TempDir::read(target), pls);
    struct stat after {};
    ASSERT_EQ(stat(target.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_nlink, 2u);
    EXPECT_EQ(FolderListing(dir), (std::vector<std::string>{"list.m3u", "other name.m3u"}));

    // Content that does not fit is found out before the file is touched.
    EXPECT_EQ(MessageUnderSizeLimit(WriteM3UPlaylist, target, NumberedEntries(50), 100),
              "Unable to write to " + target + ": Disk full");
    EXPECT_EQ(TempDir::read(other), pls);
    EXPECT_EQ(FolderListing(dir), (std::vector<std::string>{"list.m3u", "other name.m3u"}));

    // A writable playlist in a folder that is not: an ordinary user updates it.
    const std::string locked = (dir.path() / "locked").string();
    fs::create_directory(locked);
    const std::string inLocked = dir.write("locked/list.pls", "old");
    fs::permissions(inLocked, fs::perms::all);
    fs::permissions(dir.path(), fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                fs::perms::others_exec);
    // The user keeps the copy of the former file in a cache folder of its own.
    const std::string userCache = (dir.path() / "user cache").string();
    fs::create_directory(userCache);
    fs::permissions(userCache, fs::perms::all);
    int channel[2];
    ASSERT_EQ(pipe(channel), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(channel[0]);
        setenv("XDG_CACHE_HOME", userCache.c_str(), 1);
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(3);
        const std::string message = MessageOf(WritePLSPlaylist, inLocked, {"/b.mp3"});
        (void)!write(channel[1], message.data(), message.size());
        _exit(0);
    }
    close(channel[1]);
    char buffer[512];
    const ssize_t n = read(channel[0], buffer, sizeof buffer);
    close(channel[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0), "");
    EXPECT_EQ(TempDir::read(inLocked), pls);
    fs::permissions(locked, fs::perms::owner_all);
    EXPECT_EQ(std::distance(fs::directory_iterator(locked), fs::directory_iterator()), 1);
}

TEST(PlaylistWriters, ReplacementKeepsPermissionsNewFileFollowsUmask) {
    TempDir dir;
    const std::string kept = dir.write("kept.m3u", "old");
    ASSERT_EQ(chmod(kept.c_str(), 0640), 0);
    WriteM3UPlaylist(kept, {"/a.mp3"});
    EXPECT_EQ(ModeOf(kept), 0640u);

    const mode_t previous = umask(027);
    WritePLSPlaylist(dir.str() + "/new.pls", {"/a.mp3"});
    umask(previous);
    EXPECT_EQ(ModeOf(dir.str() + "/new.pls"), 0640u);
}

TEST(PlaylistWriters, SymlinkedTargetIsWrittenThroughAndStaysALink) {
    TempDir dir;
    const std::string real = dir.write("real/list.m3u", "old content that is long");
    const std::string link = dir.str() + "/link.m3u";
    fs::create_symlink("real/list.m3u", link);
    WriteM3UPlaylist(link, {"/a.mp3"});
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(TempDir::read(real), "#EXTM3U\r\n/a.mp3\r\n");

    // A dangling link creates its target.
    const std::string dangling = dir.str() + "/dangling.pls";
    fs::create_symlink("real/made.pls", dangling);
    WritePLSPlaylist(dangling, {});
    EXPECT_TRUE(fs::is_symlink(dangling));
    EXPECT_EQ(TempDir::read(dir.str() + "/real/made.pls"),
              "[playlist]\r\nVersion=2\r\nNumberOfEntries=0\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "real"), fs::directory_iterator()),
              2);
}

TEST(PlaylistWriters, FifoIsWrittenInPlaceNotReplaced) {
    TempDir dir;
    const std::string fifo = dir.str() + "/out.m3u";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    WriteM3UPlaylist(fifo, {"/a.mp3"});
    char buffer[64] = {};
    const ssize_t n = read(reader, buffer, sizeof buffer);
    close(reader);
    EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0), "#EXTM3U\r\n/a.mp3\r\n");
    EXPECT_TRUE(fs::is_fifo(fifo));
}

TEST(PlaylistWriters, PlsChosenByLowerCasedExtensionOfFilePart) {
    EXPECT_TRUE(IsPlsFileName("/home/u/list.pls"));
    EXPECT_TRUE(IsPlsFileName("/home/u/list.PLS"));
    EXPECT_TRUE(IsPlsFileName("list.Pls"));
    EXPECT_TRUE(IsPlsFileName("/a.b/c.m3u.pls"));
    EXPECT_FALSE(IsPlsFileName("/home/u/list.m3u"));
    EXPECT_FALSE(IsPlsFileName("/home/u/list.txt"));
    EXPECT_FALSE(IsPlsFileName("/home/u/list"));
    EXPECT_FALSE(IsPlsFileName("/home/u.pls/list"));
    EXPECT_FALSE(IsPlsFileName("/home/u/list.pls.bak"));
    EXPECT_FALSE(IsPlsFileName("/home/u/list.plsx"));
    EXPECT_FALSE(IsPlsFileName(""));
}
