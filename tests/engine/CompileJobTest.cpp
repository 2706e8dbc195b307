// The compile job's walk and acceptance, on real folder trees.
#include "engine/CompileJob.h"

#include "support/DeepTree.h"
#include "support/TagBytes.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>

using enum CheckState;
using enum CriterionState;
using enum PrecedenceRule;

namespace fs = std::filesystem;

namespace {

using tagbytes::Id3v2Title;

// Audio-like bytes ending in an ID3v1 tag with a title.
std::string Id3v1Title(const std::string& Title) {
    tagbytes::V1 Fields;
    Fields.Title = Title;
    return std::string(200, '\x55') + tagbytes::V1Block(Fields);
}

const std::string NoTag(300, '\x55');

// Lets another user into every folder below Dir and read every file there.
void OpenToOthers(const TempDir& Dir) {
    const auto Open = fs::perms::others_read | fs::perms::others_exec | fs::perms::group_read |
                      fs::perms::group_exec;
    fs::permissions(Dir.path(), Open, fs::perm_options::add);
    for (const fs::directory_entry& Entry : fs::recursive_directory_iterator(Dir.path()))
        if (!Entry.is_symlink())
            fs::permissions(Entry.path(),
                            Entry.is_directory() ? Open
                                                 : fs::perms::others_read | fs::perms::group_read,
                            fs::perm_options::add);
}

// A job whose criteria include every tagged file.
CompileJob JobFor(std::vector<std::string> Folders, std::vector<std::string> Masks) {
    CompileJob Job;
    Job.Folders = std::move(Folders);
    Job.FilenameMasks = std::move(Masks);
    Job.Criteria.Fields[FieldTitle].Criteria.push_back({"*", Include});
    Job.Criteria.IncludeCount = 1;
    return Job;
}

struct SearchRecord {
    SearchResult Result;
    std::vector<std::string> Statuses;
    std::vector<TFileInfo> Found;

    std::vector<std::string> Paths() const {
        std::vector<std::string> Out;
        for (const TFileInfo& File : Found)
            Out.push_back(File.FileName);
        return Out;
    }
    std::vector<std::string> SortedPaths() const {
        std::vector<std::string> Out = Paths();
        std::sort(Out.begin(), Out.end());
        return Out;
    }
};

SearchRecord Search(const CompileJob& Job) {
    SearchRecord R;
    SearchHooks Hooks;
    Hooks.ShowStatus = [&](const std::string& Text) { R.Statuses.push_back(Text); };
    Hooks.FoundFile = [&](const TFileInfo& File) { R.Found.push_back(File); };
    R.Result = RunSearch(Job, Hooks);
    return R;
}

std::vector<std::string> Sorted(std::vector<std::string> V) {
    std::sort(V.begin(), V.end());
    return V;
}

} // namespace

TEST(CompileJobWalk, RecursesOnlyWhenAskedAndNeverHandsOnFolders) {
    TempDir Dir;
    const std::string Top = Dir.write("a.mp3", Id3v2Title("A"));
    const std::string Deep = Dir.write("sub/inner/b.mp3", Id3v2Title("B"));
    const std::string Other = Dir.write("sub/notes.txt", "x");
    CompileJob Job = JobFor({Dir.str()}, {"*"});
    Job.IncludeTaglessFiles = true; // would let folder paths through a "*" mask

    SearchRecord Recursive = Search(Job);
    EXPECT_EQ(Recursive.Result.Outcome, SearchOutcome::Completed);
    EXPECT_EQ(Recursive.SortedPaths(), Sorted({Top, Deep, Other}));

    Job.Recurse = false;
    SearchRecord Flat = Search(Job);
    EXPECT_EQ(Flat.Paths(), std::vector<std::string>{Top});
    ASSERT_EQ(Flat.Found.size(), 1u);
    EXPECT_EQ(Flat.Found[0].MediaInfo.Title, "A");
}

TEST(CompileJobWalk, HiddenFilesAndFoldersAreSearched) {
    TempDir Dir;
    const std::string A = Dir.write(".hidden.mp3", Id3v2Title("A"));
    const std::string B = Dir.write(".dir/b.mp3", Id3v1Title("B"));
    SearchRecord R = Search(JobFor({Dir.str()}, {"*.mp3"}));
    EXPECT_EQ(R.SortedPaths(), Sorted({A, B}));
}

TEST(CompileJobWalk, RepeatedAndNestedFoldersAreSearchedAgain) {
    TempDir Dir;
    const std::string A = Dir.write("a.mp3", Id3v2Title("A"));
    const std::string B = Dir.write("sub/b.mp3", Id3v2Title("B"));
    const std::string Sub = (Dir.path() / "sub").string();

    SearchRecord Twice = Search(JobFor({Dir.str(), Dir.str() + "/"}, {"*.mp3"}));
    EXPECT_EQ(Twice.SortedPaths(), Sorted({A, A, B, B}));

    SearchRecord Nested = Search(JobFor({Dir.str(), Sub}, {"*.mp3"}));
    EXPECT_EQ(Nested.SortedPaths(), Sorted({A, B, B}));
    // The second folder's files come after all of the first's.
    EXPECT_EQ(Nested.Paths().back(), B);
}

TEST(CompileJobWalk, MissingFolderIsSkippedSilently) {
    TempDir Dir;
    const std::string A = Dir.write("a.mp3", Id3v2Title("A"));
    SearchRecord R = Search(JobFor({Dir.str() + "/missing", "", Dir.str()}, {"*.mp3"}));
    EXPECT_EQ(R.Result.Outcome, SearchOutcome::Completed);
    EXPECT_EQ(R.Paths(), std::vector<std::string>{A});
    EXPECT_EQ(R.Statuses, std::vector<std::string>{"Searching " + Dir.str() + "..."});
    // A folder that is not there is no loss: nothing to report.
    EXPECT_EQ(R.Result.Unreadable.Count, 0u);
    EXPECT_EQ(FinishedStatus(R.Result), "Finished compiling playlist.");
}

TEST(CompileJobWalk, UnreadableFolderIsCountedAndTheWalkGoesOn) {
    TempDir Dir;
    Dir.write("locked/a.mp3", Id3v2Title("A"));
    const std::string B = Dir.write("open/b.mp3", Id3v2Title("B"));
    const std::string Locked = (Dir.path() / "locked").string();
    OpenToOthers(Dir);
    fs::permissions(Locked, fs::perms::none);
    const CompileJob Job = JobFor({Dir.str()}, {"*.mp3"});
    EXPECT_EQ(unprivileged::Run([&]() -> std::string {
                  const SearchRecord R = Search(Job);
                  if (R.Result.Outcome != SearchOutcome::Completed)
                      return "not completed";
                  if (R.Paths() != std::vector<std::string>{B})
                      return "found other than b.mp3";
                  if (R.Result.Unreadable.Count != 1 ||
                      R.Result.Unreadable.FirstPaths != std::vector<std::string>{Locked})
                      return "the locked folder is not the one unreadable folder";
                  return {};
              }),
              "");
}

// Files a mask takes but that cannot be opened are dropped as "cannot be
// read" and counted, whichever way the rules reach them: read for tags (an
// .mp3, an .ogg with the other formats on), or taken by the name alone (a
// .wav with files without media info included), found by the walk or added
// by hand; with and without reader threads.
TEST(CompileJobWalk, FilesThatCannotBeOpenedAreDroppedAndCounted) {
    TempDir Dir;
    const std::string Good = Dir.write("a good.mp3", Id3v2Title("Good"));
    const std::string LockedMp3 = Dir.write("b locked.mp3", Id3v2Title("Locked"));
    const std::string LockedWav = Dir.write("c locked.wav", NoTag);
    const std::string GoodWav = Dir.write("d good.wav", NoTag);
    const std::string LockedAdded = Dir.write("added/e locked.mp3", Id3v2Title("Added"));
    OpenToOthers(Dir);
    for (const std::string& Path : {LockedMp3, LockedWav, LockedAdded})
        fs::permissions(Path, fs::perms::none);
    CompileJob Job = JobFor({Dir.str()}, {"*.mp3", "*.wav"});
    Job.Recurse = false;
    Job.IncludeTaglessFiles = true;
    Job.ReadOtherFormats = false; // the .wav files go by their names
    Job.RecordReasons = true;
    Job.AddedPaths = {LockedAdded};
    EXPECT_EQ(unprivileged::Run([&]() -> std::string {
                  std::string Failures;
                  for (std::size_t Threads : {std::size_t{0}, SearchReaders::DefaultThreads}) {
                      SearchReaders Readers;
                      Readers.Threads = Threads;
                      std::vector<std::string> Found, Dropped;
                      SearchHooks Hooks;
                      Hooks.FoundFile = [&](const TFileInfo& File) {
                          Found.push_back(File.FileName);
                      };
                      Hooks.DroppedFile = [&](const TFileInfo& File) {
                          Dropped.push_back(File.FileName + " | " +
                                            ReasonText(File.Reason, Job.Criteria));
                      };
                      const SearchResult Result = RunSearch(Job, Hooks, Readers);
                      const std::vector<std::string> WantDropped = {
                          LockedMp3 + " | Dropped: cannot be read",
                          LockedWav + " | Dropped: cannot be read",
                          LockedAdded + " | Dropped: cannot be read"};
                      const std::string Case = std::to_string(Threads) + " readers: ";
                      if (Found != std::vector<std::string>{Good, GoodWav})
                          Failures += Case + "found other files; ";
                      if (Dropped != WantDropped)
                          Failures += Case + "dropped other files or reasons; ";
                      if (Result.UnreadableFiles.Count != 3 ||
                          Result.UnreadableFiles.FirstPaths !=
                              std::vector<std::string>{LockedMp3, LockedWav, LockedAdded})
                          Failures += Case + "not counted; ";
                      if (FinishedStatus(Result) !=
                          "Finished compiling playlist. 3 files could not be read.")
                          Failures += Case + "status " + FinishedStatus(Result) + "; ";
                  }
                  return Failures;
              }),
              "");
}

// A link to the search folder or to a folder above it would walk everything
// around the search (a link to "/" the whole machine): it is named once and
// not followed. A link beside the search, and one below it, are followed as
// before; a flat walk notes nothing.
TEST(CompileJobWalk, LinksThatClimbAreNamedOnceAndNotFollowed) {
    TempDir Dir;
    const fs::path Music = Dir.path() / "music";
    const std::string Kept = Dir.write("music/a/kept.mp3", Id3v2Title("Kept"));
    Dir.write("outside.mp3", Id3v2Title("Outside"));
    const std::string Beside = Dir.write("beside/beside.mp3", Id3v2Title("Beside"));
    fs::create_directory_symlink(Music, Music / "a" / "loop");           // the search folder
    fs::create_directory_symlink("../..", Music / "a" / "parent");       // above it, relative
    fs::create_directory_symlink("/", Music / "a" / "root");             // the root
    fs::create_directory_symlink(Dir.path() / "beside", Music / "side"); // beside: followed
    fs::create_directory_symlink(Music / "a", Music / "z down");         // below: walked once
    // Searched through a link of its own, the folders above are still the real ones.
    fs::create_directory_symlink(Music, Dir.path() / "music link");
    for (const fs::path& Searched : {Music, Dir.path() / "music link"}) {
        CompileJob Job = JobFor({Searched.string()}, {"*.mp3"});
        std::size_t Entries = 0;
        SearchHooks Hooks;
        std::vector<std::string> Found;
        Hooks.FoundFile = [&](const TFileInfo& File) { Found.push_back(File.FileName); };
        Hooks.StopRequested = [&] { return ++Entries > 10000; }; // never the whole machine
        const SearchResult Result = RunSearch(Job, Hooks);
        const std::string Base = Searched.string();
        ASSERT_EQ(Result.Outcome, SearchOutcome::Completed) << Base;
        const std::string Relative = Kept.substr(Music.string().size());
        EXPECT_EQ(Found, (std::vector<std::string>{Base + Relative, Base + "/side/beside.mp3"}))
            << Base;
        EXPECT_EQ(Result.Climbing.Count, 3u) << Base;
        EXPECT_EQ(
            Result.Climbing.FirstPaths,
            (std::vector<std::string>{Base + "/a/loop", Base + "/a/parent", Base + "/a/root"}))
            << Base;
        Job.Recurse = false;
        EXPECT_EQ(RunSearch(Job, Hooks).Climbing.Count, 0u) << Base;
    }
    (void)Beside;
}

TEST(CompileJobWalk, LinksToFoldersAreFollowedButLoopsAreNot) {
    TempDir Dir;
    TempDir Elsewhere;
    const std::string A = Dir.write("music/a.mp3", Id3v2Title("A"));
    Elsewhere.write("c.mp3", Id3v2Title("C"));
    fs::create_directory_symlink(Dir.path() / "music", Dir.path() / "music/again");
    fs::create_directory_symlink(Dir.path(), Dir.path() / "music/top");
    fs::create_directory_symlink(Elsewhere.path(), Dir.path() / "music/linked");
    fs::create_symlink(Dir.path() / "nowhere.mp3", Dir.path() / "music/dangling.mp3");

    SearchRecord R = Search(JobFor({(Dir.path() / "music").string()}, {"*.mp3"}));
    EXPECT_EQ(R.Result.Outcome, SearchOutcome::Completed);
    // "top" leads to the parent of the walked folder, which is not on the
    // current path: its "music" is the walked folder itself and stops there.
    EXPECT_EQ(R.SortedPaths(), Sorted({A, Dir.str() + "/music/linked/c.mp3"}));
}

TEST(CompileJobWalk, OnlyRegularFilesAfterLinksBecomeEntries) {
    TempDir Dir;
    ASSERT_EQ(mkfifo((Dir.path() / "x.mp3").c_str(), 0644), 0);
    ASSERT_EQ(mkfifo((Dir.path() / "y.wav").c_str(), 0644), 0);
    const int Socket = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un Address{};
    Address.sun_family = AF_UNIX;
    const std::string SocketPath = (Dir.path() / "s.wav").string();
    ASSERT_LT(SocketPath.size(), sizeof Address.sun_path);
    std::memcpy(Address.sun_path, SocketPath.c_str(), SocketPath.size() + 1);
    ASSERT_EQ(bind(Socket, reinterpret_cast<sockaddr*>(&Address), sizeof Address), 0);
    const std::string A = Dir.write("a.mp3", Id3v2Title("A"));
    const std::string Plain = Dir.write("plain.wav", NoTag);
    fs::create_symlink(Dir.path() / "nowhere.wav", Dir.path() / "broken.wav");
    fs::create_symlink(Dir.path() / "loop2.wav", Dir.path() / "loop1.wav");
    fs::create_symlink(Dir.path() / "loop1.wav", Dir.path() / "loop2.wav");
    fs::create_symlink("/dev/null", Dir.path() / "device.wav");
    fs::create_symlink(Dir.path() / "x.mp3", Dir.path() / "tofifo.wav");
    fs::create_symlink(Plain, Dir.path() / "tofile.wav");
    for (bool Thorough : {false, true}) {
        CompileJob Job = JobFor({Dir.str()}, {"*"});
        Job.ThoroughID3Check = Thorough;
        Job.IncludeTaglessFiles = true;
        SearchRecord R = Search(Job);
        EXPECT_EQ(R.Result.Outcome, SearchOutcome::Completed);
        // FIFOs are never opened, so none blocks the walk; a link to a file is that file.
        EXPECT_EQ(R.SortedPaths(), Sorted({A, Plain, Dir.str() + "/tofile.wav"}));
    }
    close(Socket);
}

TEST(CompileJobWalk, LinksNeitherLoopNorFanOutAndKernelFileSystemsStayClosed) {
    TempDir Dir;
    // Twenty levels, each with two links to the next: a million paths to one file.
    const int Levels = 20;
    for (int Level = 0; Level <= Levels; ++Level)
        fs::create_directory(Dir.path() / ("level" + std::to_string(Level)));
    for (int Level = 0; Level < Levels; ++Level)
        for (const char* Link : {"a", "b"})
            fs::create_directory_symlink(Dir.path() / ("level" + std::to_string(Level + 1)),
                                         Dir.path() / ("level" + std::to_string(Level)) / Link);
    Dir.write("level20/song.mp3", Id3v2Title("Once"));
    SearchRecord FanOut = Search(JobFor({(Dir.path() / "level0").string()}, {"*.mp3"}));
    EXPECT_EQ(FanOut.Result.Outcome, SearchOutcome::Completed);
    ASSERT_EQ(FanOut.Found.size(), 1u);
    EXPECT_TRUE(FanOut.Found[0].FileName.ends_with("/song.mp3"));
    // Each search folder is a walk of its own: the second finds the file again.
    SearchRecord Twice = Search(
        JobFor({(Dir.path() / "level0").string(), (Dir.path() / "level19").string()}, {"*.mp3"}));
    EXPECT_EQ(Twice.Found.size(), 2u);

    // /proc and /sys, through links or as the search folder itself: only the
    // search folder's own files are listed, no subfolder of them is entered.
    TempDir Links;
    const std::string File = Links.write("file.wav", "x");
    fs::create_directory_symlink("/proc", Links.path() / "proc");
    fs::create_directory_symlink("/sys", Links.path() / "sys");
    CompileJob Job = JobFor({Links.str()}, {"*"});
    Job.IncludeTaglessFiles = true;
    EXPECT_EQ(Search(Job).Paths(), std::vector<std::string>{File});
    for (const std::string Kernel : {"/proc", "/sys"}) {
        Job.Folders = {Kernel};
        SearchRecord R = Search(Job);
        EXPECT_EQ(R.Result.Outcome, SearchOutcome::Completed);
        for (const std::string& Path : R.Paths())
            EXPECT_EQ(Path.find('/', Kernel.size() + 1), std::string::npos) << Path;
    }
}

TEST(CompileJobWalk, DeepTreesAreWalkedToTheBottomWithFewDescriptors) {
    TempDir Dir;
    const std::string Outside = Dir.write("outside/first.wav", "x");
    Dir.write("outside/inner/in.wav", "x");
    Dir.write("outside/last.wav", "x");
    const int Levels = 3000;
    // Every tenth level holds files beside its subfolder (some listed after it,
    // so the walk must come back to the level), every 500th a link out of the tree.
    std::size_t Expected = 3; // the outside folder is walked once however often it is linked
    MakeDeepTree(Dir.str(), Levels, "d", [&](int Fd, int Level) {
        if (Level % 10 == 0 || Level == Levels)
            for (const char* Name : {"1.wav", "2.wav", "3.wav", "4.wav"}) {
                close(openat(Fd, Name, O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
                ++Expected;
            }
        if (Level % 500 == 0)
            symlinkat((Dir.path() / "outside").c_str(), Fd, "link");
    });
    CompileJob Job = JobFor({(Dir.path() / "d").string()}, {"*.wav"});
    Job.IncludeTaglessFiles = true;
    // A child with few descriptors allowed: one per level would run out at once.
    const pid_t Child = fork();
    ASSERT_GE(Child, 0);
    if (Child == 0) {
        const rlimit Limit{32, 32};
        setrlimit(RLIMIT_NOFILE, &Limit);
        std::size_t Found = 0;
        bool Bottom = false;
        SearchHooks Hooks;
        Hooks.FoundFile = [&](const TFileInfo& Info) {
            ++Found;
            Bottom = Bottom || Info.FileName.size() > std::size_t(Levels) * 2;
        };
        const SearchResult Result = RunSearch(Job, Hooks);
        _exit(Result.Outcome != SearchOutcome::Completed ? 1
              : Result.Unreadable.Count != 0             ? 2
              : Found != Expected                        ? 3
              : !Bottom                                  ? 4
                                                         : 0);
    }
    int Status = 0;
    ASSERT_EQ(waitpid(Child, &Status, 0), Child);
    RemoveDeepTree(Dir.str(), "d");
    ASSERT_TRUE(WIFEXITED(Status));
    EXPECT_EQ(WEXITSTATUS(Status), 0) << "1 not completed, 2 folders unread, 3 files missed, "
                                         "4 bottom not reached";
    (void)Outside;
}

TEST(CompileJobWalk, LeftOutSummaryNamesTheFirstFewOfEachKindOnOneLine) {
    SearchResult Result;
    EXPECT_EQ(LeftOutSummary(Result), "");
    EXPECT_EQ(FinishedStatus(Result), "Finished compiling playlist.");
    Result.Unreadable.Note("/music/locked");
    EXPECT_EQ(LeftOutSummary(Result), "1 folder could not be read: /music/locked");
    EXPECT_EQ(FinishedStatus(Result), "Finished compiling playlist. 1 folder could not be read.");
    // A name with a line break stays on the one line; only the first three are named.
    SearchResult Many;
    for (const char* Path : {"/a", "/new\nline\x01", "/caf\xc3\xa9", "/d", "/e"})
        Many.Unreadable.Note(Path);
    Many.UnreadableFiles.Note("/m/x.mp3");
    Many.Climbing.Note("/m/up");
    Many.Climbing.Note("/m/root");
    EXPECT_EQ(Many.Unreadable.Count, 5u);
    EXPECT_EQ(LeftOutSummary(Many),
              "5 folders could not be read: /a, /new\\x0Aline\\x01, /caf\xc3\xa9, ...; "
              "1 file could not be read: /m/x.mp3; "
              "2 links to the search folder or above not followed: /m/up, /m/root");
    EXPECT_EQ(FinishedStatus(Many),
              "Finished compiling playlist. 5 folders could not be read. 1 file could not be "
              "read. 2 links to the search folder or above not followed.");
}

TEST(CompileJobWalk, NonUtf8NamesReachTheResultUnchanged) {
    TempDir Dir;
    const std::string Name = "caf\xe9 \xff\xfe.mp3";
    const std::string Path = Dir.write(Name, Id3v2Title("Caf\xe9"));
    SearchRecord R = Search(JobFor({Dir.str()}, {"*.mp3"}));
    ASSERT_EQ(R.Found.size(), 1u);
    EXPECT_EQ(R.Found[0].FileName, Path);
    EXPECT_EQ(R.Found[0].FileName.substr(R.Found[0].FileName.size() - Name.size()), Name);
    EXPECT_EQ(R.Found[0].MediaInfo.Title, "Caf\xC3\xA9"); // decoded in the tag code page
}

TEST(CompileJobWalk, SizeKeepsTheLowThirtyTwoBits) {
    TempDir Dir;
    const std::string Small = Dir.write("small.wav", std::string(1234, 'x'));
    const std::string Tagged = Dir.write("tagged.mp3", Id3v2Title("T"));
    const std::string Half = Dir.write("half.wav", "");
    const std::string Over = Dir.write("over.wav", "");
    const std::int64_t Gib = 1LL << 30;
    // Sparse: no disk space is used.
    ASSERT_EQ(truncate(Tagged.c_str(), 4 * Gib + 3), 0);
    ASSERT_EQ(truncate(Half.c_str(), 2 * Gib + 5), 0);
    ASSERT_EQ(truncate(Over.c_str(), 4 * Gib + 7), 0);
    CompileJob Job = JobFor({Dir.str()}, {"*"});
    Job.IncludeTaglessFiles = true;

    std::map<std::string, std::int32_t> Sizes;
    for (const TFileInfo& File : Search(Job).Found)
        Sizes[File.FileName] = File.Size;
    ASSERT_EQ(Sizes.size(), 4u);
    EXPECT_EQ(Sizes[Small], 1234);
    EXPECT_EQ(Sizes[Tagged], 3);
    EXPECT_EQ(Sizes[Half], INT32_MIN + 5);
    EXPECT_EQ(Sizes[Over], 7);
}

TEST(CompileJobWalk, StatusNamesEachFolderAsTheWalkEntersOrReturnsToIt) {
    TempDir Dir;
    Dir.write("a1.wav", "x");
    Dir.write("a2.wav", "x");
    Dir.write("a3.wav", "x");
    Dir.write("sub/b1.wav", "x");
    Dir.write("sub/b2.wav", "x");
    Dir.write("sub/deeper/c.wav", "x");
    CompileJob Job = JobFor({Dir.str() + "/"}, {"*"});
    Job.IncludeTaglessFiles = true;
    SearchRecord R = Search(Job);
    ASSERT_EQ(R.Found.size(), 6u);
    // Every file is accepted, so the statuses are the runs of equal folders
    // in the order found, whatever order the listing gave.
    std::vector<std::string> Expected;
    for (const TFileInfo& File : R.Found) {
        const std::string Status =
            "Searching " + File.FileName.substr(0, File.FileName.rfind('/')) + "...";
        if (Expected.empty() || Expected.back() != Status)
            Expected.push_back(Status);
    }
    EXPECT_EQ(R.Statuses, Expected);
    EXPECT_EQ(SearchingStatus("/a.mp3"), "Searching /...");
    EXPECT_EQ(SearchingStatus("/music//a.mp3"), "Searching /music...");
}

TEST(CompileJobWalk, StopEndsTheRunAtTheNextEntry) {
    TempDir Dir;
    for (int I = 0; I < 20; ++I)
        Dir.write("f" + std::to_string(I) + ".mp3", Id3v2Title("T"));
    bool Stop = false;
    int ChecksAfterStop = 0;
    int Found = 0;
    SearchHooks Hooks;
    Hooks.StopRequested = [&] {
        ChecksAfterStop += Stop;
        return Stop;
    };
    Hooks.FoundFile = [&](const TFileInfo&) {
        ++Found;
        Stop = true;
    };
    SearchResult Result = RunSearch(JobFor({Dir.str(), Dir.str()}, {"*.mp3"}), Hooks);
    EXPECT_EQ(Result.Outcome, SearchOutcome::Aborted);
    EXPECT_EQ(Found, 1);
    EXPECT_EQ(ChecksAfterStop, 1);
}

TEST(CompileJobWalk, MalformedMaskEndsTheRunWhereItIsFirstReached) {
    TempDir Dir;
    const std::string Wav = Dir.write("a.wav", "x");
    CompileJob Job = JobFor({Dir.str()}, {"*.wav", "[a"});
    Job.IncludeTaglessFiles = true;
    // Every entry matches the first mask, so the second is never compiled.
    SearchRecord Fine = Search(Job);
    EXPECT_EQ(Fine.Result.Outcome, SearchOutcome::Completed);
    EXPECT_EQ(Fine.Paths(), std::vector<std::string>{Wav});

    Dir.write("b.mp3", Id3v2Title("B"));
    SearchRecord Broken = Search(Job);
    EXPECT_EQ(Broken.Result.Outcome, SearchOutcome::Failed);
    EXPECT_EQ(Broken.Result.ErrorMessage, "'[a' is an invalid mask at (3)");
    EXPECT_LE(Broken.Found.size(), 1u);
    EXPECT_EQ(Broken.Statuses, std::vector<std::string>{"Searching " + Dir.str() + "..."});
}

// The extension, thoroughness and tagless rules, file by file.
TEST(CompileJobAccept, ExtensionThoroughAndTaglessTable) {
    TempDir Dir;
    const std::string Mp3Tagged = Dir.write("song.MP3", Id3v2Title("Keep"));
    const std::string Mp3Untagged = Dir.write("plain.mp3", NoTag);
    const std::string BakTagged = Dir.write("song.mp3.bak", Id3v1Title("Keep"));
    const std::string WavTagged = Dir.write("x.mp3.d/song.wav", Id3v2Title("Drop"));
    const std::string WavUntagged = Dir.write("plain.wav", NoTag);

    struct Row {
        bool Thorough, Tagless;
        std::map<std::string, bool> Accepted;
    };
    const Row Rows[] = {
        {false,
         false,
         {{Mp3Tagged, true},
          {Mp3Untagged, false},
          {BakTagged, false},
          {WavTagged, false},
          {WavUntagged, false}}},
        {false,
         true,
         {{Mp3Tagged, true},
          {Mp3Untagged, true},
          {BakTagged, true},
          {WavTagged, true},
          {WavUntagged, true}}},
        {true,
         false,
         {{Mp3Tagged, true},
          {Mp3Untagged, false},
          {BakTagged, true},
          {WavTagged, false},
          {WavUntagged, false}}},
        {true,
         true,
         {{Mp3Tagged, true},
          {Mp3Untagged, true},
          {BakTagged, true},
          {WavTagged, false},
          {WavUntagged, true}}},
    };
    for (const Row& Row : Rows) {
        CompileJob Job;
        Job.FilenameMasks = {"*"};
        Job.ThoroughID3Check = Row.Thorough;
        Job.IncludeTaglessFiles = Row.Tagless;
        Job.Criteria.Fields[FieldTitle].Criteria = {{"Keep", Include}, {"Drop", Exclude}};
        Job.Criteria.IncludeCount = 1;
        for (const auto& [Path, Expected] : Row.Accepted) {
            TFileInfo Info{Path, {}, 0};
            EXPECT_EQ(AcceptFile(Job, Info, DefaultTagDecoder()), Expected)
                << Path << " thorough " << Row.Thorough << " tagless " << Row.Tagless;
            // Tags are read only where the rules say so.
            const bool Read =
                Path == Mp3Tagged || (Row.Thorough && Path != Mp3Untagged && Path != WavUntagged);
            EXPECT_EQ(Info.MediaInfo.Title.empty(), !Read) << Path;
        }
        // The walk applies the same rules.
        Job.Folders = {Dir.str()};
        std::vector<std::string> Expected;
        for (const auto& [Path, Accepted] : Row.Accepted)
            if (Accepted)
                Expected.push_back(Path);
        EXPECT_EQ(Search(Job).SortedPaths(), Sorted(Expected));
    }
}

TEST(CompileJobAccept, FirstMatchingMaskDecidesOverTheWholePath) {
    TempDir Dir;
    const std::string Rock = Dir.write("Rock/a.mp3", Id3v2Title("A"));
    Dir.write("Jazz/b.mp3", Id3v2Title("B"));
    EXPECT_EQ(Search(JobFor({Dir.str()}, {"*/rock/*.mp3"})).Paths(),
              std::vector<std::string>{Rock});
    // A mask that starts with a name fragment matches no full path.
    EXPECT_TRUE(Search(JobFor({Dir.str()}, {"a*.mp3"})).Found.empty());
    EXPECT_TRUE(Search(JobFor({Dir.str()}, {})).Found.empty());
}

TEST(CompileJobMake, TakesOnlyCheckedFoldersAndMasksInListOrder) {
    WizardSettings Settings;
    Settings.Folders = {{"/b", Checked}, {"/off", Unchecked}, {"/a", Checked}};
    Settings.Filenames = {{"*.ogg", Unchecked}, {"*.mp3", Checked}, {"*.wav", Checked}};
    Settings.Recurse = false;
    Settings.ThoroughID3Check = true;
    Settings.IncludeTaglessFiles = true;
    Settings.Criteria[FieldArtist] = {{"*Band*", Include}};
    const CompileJob Job = MakeCompileJob(Settings);
    EXPECT_EQ(Job.Folders, (std::vector<std::string>{"/b", "/a"}));
    EXPECT_EQ(Job.FilenameMasks, (std::vector<std::string>{"*.mp3", "*.wav"}));
    EXPECT_FALSE(Job.Recurse);
    EXPECT_TRUE(Job.ThoroughID3Check);
    EXPECT_TRUE(Job.IncludeTaglessFiles);
    ASSERT_EQ(Job.Criteria.Fields[FieldArtist].Criteria.size(), 1u);
    EXPECT_EQ(Job.Criteria.Fields[FieldArtist].Criteria[0].Mask, "*Band*");
}

TEST(CompileJobText, TitlesInEveryEncodingAreFoundByOneLowerCaseAccentedMask) {
    using namespace tagbytes;
    const auto Utf16 = [](std::u16string_view Text, bool BigEndian) {
        std::string Out = BigEndian ? "\xFE\xFF" : "\xFF\xFE";
        for (char16_t Unit : Text) {
            const char High = static_cast<char>(Unit >> 8), Low = static_cast<char>(Unit & 0xFF);
            Out += BigEndian ? High : Low;
            Out += BigEndian ? Low : High;
        }
        return Out;
    };
    const auto Title = [](const std::string& Data) {
        return Tag(3, Frame(3, "TIT2", Data)) + std::string(64, '\x55');
    };
    TempDir Dir;
    Dir.write("code-page.mp3", Title(std::string("\0D\xE9j\xE0 Vu", 8)));
    Dir.write("utf16-le.mp3", Title("\x01" + Utf16(u"D\u00c9J\u00c0 VU", false)));
    Dir.write("utf16-be.mp3", Title("\x01" + Utf16(u"d\u00e9j\u00e0 vu (live)", true)));
    Dir.write("utf16be.mp3", Title("\x02" + Utf16(u"D\u00e9j\u00e0 vu", true).substr(2)));
    Dir.write("utf8.mp3", Title("\x03"
                                "D\xC3\xA9J\xC3\xA0 vu"));
    Dir.write("id3v1.mp3", Id3v1Title("D\xC9J\xC0 VU"));
    Dir.write("plain.mp3", Title(std::string("\0Deja Vu", 8)));
    CompileJob Job;
    Job.Folders = {Dir.str()};
    Job.FilenameMasks = {"*.mp3"};
    Job.Criteria.Fields[FieldTitle].Criteria.push_back({"d\xC3\xA9j\xC3\xA0 vu*", Include});
    const SearchRecord R = Search(Job);
    std::vector<std::string> Names;
    for (const std::string& Path : R.SortedPaths())
        Names.push_back(fs::path(Path).filename().string());
    EXPECT_EQ(Names, (std::vector<std::string>{"code-page.mp3", "id3v1.mp3", "utf16-be.mp3",
                                               "utf16-le.mp3", "utf16be.mp3", "utf8.mp3"}));

    // The job's code page reads text without a declared encoding, and names.
    // A Cyrillic page reads a title of three bytes of 0x80 or above in a row.
    TempDir Cyrillic;
    Cyrillic.write("\xC4\xE0.mp3", Title(std::string("\0\xC4\xE0\xF0", 4))); // "Дар"
    Job.Folders = {Cyrillic.str()};
    Job.FilenameMasks = {"*/\xD0\xB4\xD0\xB0.mp3"};
    Job.Criteria.Fields[FieldTitle].Criteria = {{"\xD0\xB4\xD0\xB0\xD1\x80", Include}};
    EXPECT_TRUE(Search(Job).Found.empty());
    Job.TagCodePage = "Windows-1251";
    const SearchRecord InCyrillic = Search(Job);
    ASSERT_EQ(InCyrillic.Found.size(), 1u);
    EXPECT_EQ(InCyrillic.Found[0].MediaInfo.Title, "\xD0\x94\xD0\xB0\xD1\x80");
    EXPECT_EQ(InCyrillic.Found[0].FileName, Cyrillic.str() + "/\xC4\xE0.mp3");
}
