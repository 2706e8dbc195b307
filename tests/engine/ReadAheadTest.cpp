// Tags read by several threads ahead of the walk: whatever the readers' speed,
// the run hands over what a run on one thread hands over, in the same order;
// a pause stops the readers, and nothing read ahead of a stop reaches the list.
#include "engine/ReadAhead.h"
#include "engine/CompileJob.h"

#include "support/TagBytes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>

namespace {

std::string Tagged(const std::string& Title) {
    return tagbytes::Tag(3, tagbytes::TextFrame(3, "TIT2", Title)) + std::string(64, '\x55');
}

std::string V1Only(const std::string& Title) {
    tagbytes::V1 Fields;
    Fields.Title = Title;
    return std::string(100, '\x55') + tagbytes::V1Block(Fields);
}

// A tree of every kind of entry the search judges differently: tagged,
// ID3v1-only and tagless .mp3 files, other files, titles the criteria
// exclude, and folders nested among the files.
void MakeTree(const TempDir& Dir) {
    std::mt19937 Random(7);
    const char* const Folders[] = {"", "a/", "a/x/", "a/x/deep/", "b/", "c/empty/", "d/"};
    int Serial = 0;
    for (const char* Folder : Folders) {
        const int Files = static_cast<int>(Random() % 30);
        for (int I = 0; I < Files; ++I, ++Serial) {
            const std::string Name = Folder + std::to_string(Serial);
            switch (Random() % 6) {
            case 0:
                Dir.write(Name + ".txt", "notes");
                break;
            case 1:
                Dir.write(Name + ".mp3", V1Only("one " + Name));
                break;
            case 2:
                Dir.write(Name + ".mp3", std::string(50, '\x55')); // no tag
                break;
            case 3:
                Dir.write(Name + ".MP3", Tagged("skip " + Name)); // excluded by its title
                break;
            default:
                Dir.write(Name + ".mp3", Tagged("take " + Name));
            }
        }
    }
    Dir.write("d/late.wav", "x"); // the only entry that reaches a third filename mask
}

CompileJob JobFor(const TempDir& Dir) {
    CompileJob Job;
    Job.Folders = {Dir.str(), Dir.str() + "/a"};
    Job.FilenameMasks = {"*.mp3", "*.txt"};
    Job.IncludeTaglessFiles = true;
    Job.Criteria.Fields[FieldTitle].Criteria = {{"*", CriterionState::Include},
                                                {"skip *", CriterionState::Exclude}};
    Job.Criteria.Fields[FieldTitle].Rule = PrecedenceRule::ExclusionFirst;
    Job.Criteria.IncludeCount = 1;
    return Job;
}

// Every hand-over of a run, in order: statuses and files with all they carry.
struct Record {
    SearchOutcome Outcome = SearchOutcome::Completed;
    std::string Error;
    std::vector<std::string> Events;
};

std::string Describe(const TFileInfo& File) {
    const TMediaInfo& M = File.MediaInfo;
    return "F:" + File.FileName + "|" + M.Title + "|" + M.Artist + "|" + M.Year + "|" +
           std::to_string(File.Size);
}

Record SearchOnOneThread(const CompileJob& Job) {
    Record R;
    SearchHooks Hooks;
    Hooks.ShowStatus = [&](const std::string& Text) { R.Events.push_back("S:" + Text); };
    Hooks.FoundFile = [&](const TFileInfo& File) { R.Events.push_back(Describe(File)); };
    SearchReaders Readers;
    Readers.Threads = 0;
    const SearchResult Result = RunSearch(Job, Hooks, Readers);
    R.Outcome = Result.Outcome;
    R.Error = Result.ErrorMessage;
    return R;
}

// ReadMediaInfoAt after a random delay, counting reads begun while held.
struct SlowReads {
    std::atomic<bool> Held{false};
    std::atomic<int> BegunWhileHeld{0};
    std::atomic<int> Reads{0};
    int MaxDelayMicroseconds = 300;

    TagReadFunction Function() {
        return [this](int FolderFd, const char* Name, TMediaInfo& Info, std::int64_t& Size) {
            if (Held.load())
                ++BegunWhileHeld;
            ++Reads;
            thread_local std::mt19937 Random(
                std::hash<std::thread::id>()(std::this_thread::get_id()));
            if (Random() % 3 != 0)
                std::this_thread::sleep_for(
                    std::chrono::microseconds(Random() % (MaxDelayMicroseconds + 1)));
            return ReadMediaInfoAt(FolderFd, Name, Info, Size);
        };
    }
};

} // namespace

TEST(ReadAhead, SlowReadersHandOverExactlyWhatOneThreadDoes) {
    TempDir Dir;
    MakeTree(Dir);
    std::vector<CompileJob> Jobs{JobFor(Dir), JobFor(Dir), JobFor(Dir)};
    Jobs[1].ThoroughID3Check = true; // .txt files are read too
    // The malformed mask fails at d/late.wav, once the folder "a" is done.
    Jobs[2].Folders = {Dir.str() + "/a", Dir.str()};
    Jobs[2].FilenameMasks = {"*.mp3", "*.txt", "[b-"};
    std::mt19937 Random(11);
    for (std::size_t J = 0; J < Jobs.size(); ++J) {
        const Record Expected = SearchOnOneThread(Jobs[J]);
        ASSERT_GT(Expected.Events.size(), 20u);
        EXPECT_EQ(Expected.Outcome, J == 2 ? SearchOutcome::Failed : SearchOutcome::Completed);
        for (int Run = 0; Run < 12; ++Run) {
            SlowReads Slow;
            SearchReaders Readers;
            Readers.Threads = 1 + Random() % 8;
            Readers.Window = std::vector<std::size_t>{1, 2, 5, 17, 256}[Random() % 5];
            Readers.Read = Slow.Function();
            Record Got;
            SearchHooks Hooks;
            Hooks.ShowStatus = [&](const std::string& Text) { Got.Events.push_back("S:" + Text); };
            Hooks.FoundFile = [&](const TFileInfo& File) { Got.Events.push_back(Describe(File)); };
            const SearchResult Result = RunSearch(Jobs[J], Hooks, Readers);
            const std::string Case = "job " + std::to_string(J) + ", " +
                                     std::to_string(Readers.Threads) + " readers, window " +
                                     std::to_string(Readers.Window);
            EXPECT_EQ(Result.Outcome, Expected.Outcome) << Case;
            EXPECT_EQ(Result.ErrorMessage, Expected.Error) << Case;
            EXPECT_EQ(Got.Events, Expected.Events) << Case;
            EXPECT_GT(Slow.Reads.load(), 0) << Case;
        }
    }
}

// Another thread plays the window: it pauses, resumes and stops the run at
// random moments while the readers are slowed down at random.
TEST(ReadAhead, PauseAndStopAtRandomMomentsKeepTheOrderAndDropWhatWasReadAhead) {
    TempDir Dir;
    MakeTree(Dir);
    const CompileJob Job = JobFor(Dir);
    const Record Expected = SearchOnOneThread(Job);
    std::mt19937 Random(23);
    int Stopped = 0;
    for (int Run = 0; Run < 30; ++Run) {
        SlowReads Slow;
        SearchReaders Readers;
        Readers.Threads = 1 + Random() % 8;
        Readers.Window = std::vector<std::size_t>{3, 16, 256}[Random() % 3];
        Readers.Read = Slow.Function();

        std::mutex Mutex; // guards what follows
        std::condition_variable Changed;
        bool Paused = false;
        bool Stop = false;
        bool Done = false;
        std::vector<std::string> Events;
        std::size_t EventsBeforeStop = 0;
        int FilesAfterStop = 0;
        int SafePoints = 0;     // pause points the run has reached
        int PauseMark = 0;      // SafePoints when the current pause began
        std::string SincePoint; // hand-overs since the last pause point: "", "S", "F", "SF"
        int BegunAtPause = 0;

        SearchHooks Hooks;
        Hooks.SafePoint = [&] {
            std::unique_lock Lock(Mutex);
            ++SafePoints;
            Changed.wait(Lock, [&] { return !Paused; });
            SincePoint.clear();
        };
        Hooks.StopRequested = [&] {
            std::lock_guard Lock(Mutex);
            return Stop;
        };
        Hooks.HoldReads = [&] { return Slow.Held.load(); };
        auto Note = [&](std::string Event, bool File) {
            std::lock_guard Lock(Mutex);
            // Each entry passes a pause point before its status and its file;
            // during a pause only the entry already past it may hand over.
            SincePoint += File ? "F" : "S";
            EXPECT_TRUE(SincePoint == "S" || SincePoint == "F" || SincePoint == "SF")
                << "hand-overs without a pause point between them: " << SincePoint;
            EXPECT_FALSE(Paused && SafePoints != PauseMark) << "a hand-over while paused";
            FilesAfterStop += Stop && File;
            Events.push_back(std::move(Event));
        };
        Hooks.ShowStatus = [&](const std::string& Text) { Note("S:" + Text, false); };
        Hooks.FoundFile = [&](const TFileInfo& File) { Note(Describe(File), true); };

        const unsigned StopAfter = 1 + Random() % 40; // in milliseconds
        const unsigned Seed = Random();
        std::thread Window([&] {
            std::mt19937 Moments(Seed);
            const auto Start = std::chrono::steady_clock::now();
            for (;;) {
                std::this_thread::sleep_for(std::chrono::microseconds(Moments() % 3000));
                std::unique_lock Lock(Mutex);
                if (Done)
                    return;
                if (std::chrono::steady_clock::now() - Start >
                    std::chrono::milliseconds(StopAfter)) {
                    Stop = true;
                    EventsBeforeStop = Events.size();
                    Paused = false;
                    Slow.Held = false;
                    Changed.notify_all();
                    return;
                }
                Paused = !Paused;
                Slow.Held = Paused;
                if (Paused) {
                    PauseMark = SafePoints;
                    BegunAtPause = Slow.BegunWhileHeld.load();
                } else {
                    // Readers finish what they began, then start nothing: at
                    // most one read per reader begins after the hold.
                    EXPECT_LE(Slow.BegunWhileHeld.load() - BegunAtPause, int(Readers.Threads));
                    Changed.notify_all();
                }
            }
        });
        const SearchResult Result = RunSearch(Job, Hooks, Readers);
        {
            std::lock_guard Lock(Mutex);
            Done = true;
        }
        Window.join();

        ASSERT_LE(Events.size(), Expected.Events.size());
        EXPECT_TRUE(std::equal(Events.begin(), Events.end(), Expected.Events.begin()))
            << "run " << Run << ": not the one-thread run's order";
        if (Result.Outcome == SearchOutcome::Aborted) {
            ++Stopped;
            // The entry whose stop check came just before the stop may still
            // hand over its status and its file; nothing after it does.
            EXPECT_LE(FilesAfterStop, 1) << "run " << Run;
            EXPECT_LE(Events.size(), EventsBeforeStop + 2) << "run " << Run;
        } else {
            EXPECT_EQ(Result.Outcome, SearchOutcome::Completed);
            EXPECT_EQ(Events, Expected.Events) << "run " << Run;
        }
    }
    EXPECT_GT(Stopped, 0) << "no run was stopped: the moments are too late";
}

// A stop asked for from a hand-over (as the window does between hand-overs)
// lets nothing more through, though the readers are far ahead.
TEST(ReadAhead, StopFromAHandOverEndsTheRunThere) {
    TempDir Dir;
    MakeTree(Dir);
    const CompileJob Job = JobFor(Dir);
    const Record Expected = SearchOnOneThread(Job);
    int Stops = 0;
    for (std::size_t StopAt = 1; StopAt < Expected.Events.size(); StopAt += 3) {
        if (Expected.Events[StopAt - 1][0] != 'F')
            continue; // a status is followed by its entry's file before the next stop check
        ++Stops;
        std::vector<std::string> Events;
        bool Stop = false;
        SearchHooks Hooks;
        Hooks.StopRequested = [&] { return Stop; };
        auto Note = [&](std::string Event) {
            EXPECT_FALSE(Stop) << "hand-over after the stop";
            Events.push_back(std::move(Event));
            Stop = Events.size() == StopAt;
        };
        Hooks.ShowStatus = [&](const std::string& Text) { Note("S:" + Text); };
        Hooks.FoundFile = [&](const TFileInfo& File) { Note(Describe(File)); };
        SearchReaders Readers;
        Readers.Threads = 4;
        const SearchResult Result = RunSearch(Job, Hooks, Readers);
        EXPECT_EQ(Result.Outcome, SearchOutcome::Aborted);
        EXPECT_EQ(Events, std::vector<std::string>(Expected.Events.begin(),
                                                   Expected.Events.begin() + StopAt));
    }
    EXPECT_GT(Stops, 5);
}

// The window itself: results come back in push order whatever order the
// readers finish in; slots without work need no reader.
TEST(ReadAhead, WindowGivesSlotsBackInPushOrder) {
    for (const std::size_t Threads : {0u, 1u, 3u, 8u}) {
        constexpr std::size_t Window = 13;
        std::vector<int> Value(Window, -1);
        std::vector<int> Worked(Window, 0);
        TReadAhead Ahead(Threads, Window, [&](std::size_t Slot) {
            thread_local std::mt19937 Random(5);
            std::this_thread::sleep_for(std::chrono::microseconds(Random() % 200));
            Value[Slot] *= 10;
            ++Worked[Slot];
        });
        std::vector<int> Out;
        for (int Item = 1; Item <= 500; ++Item) {
            if (Ahead.Full()) {
                const std::size_t Slot = Ahead.Front();
                Out.push_back(Value[Slot]);
                EXPECT_LE(Worked[Slot], 1);
                Worked[Slot] = 0;
                Ahead.Pop();
            }
            Value[Ahead.Back()] = Item;
            Ahead.Push(Item % 3 != 0);
        }
        while (!Ahead.Empty()) {
            Out.push_back(Value[Ahead.Front()]);
            Ahead.Pop();
        }
        ASSERT_EQ(Out.size(), 500u) << Threads;
        for (int Item = 1; Item <= 500; ++Item)
            EXPECT_EQ(Out[Item - 1], Item % 3 != 0 ? Item * 10 : Item) << Threads;
    }
}

// Pushes items 1..Items, each needing work that multiplies its slot's value
// by ten, taking the oldest back whenever the window is full, and checks that
// every item comes back worked, in push order.
namespace {

void PushAllAndTakeInOrder(TReadAhead& Ahead, std::vector<int>& Value, int Items) {
    int Next = 1;
    for (int Item = 1; Item <= Items; ++Item) {
        if (Ahead.Full()) {
            EXPECT_EQ(Value[Ahead.Front()], Next * 10);
            ++Next;
            Ahead.Pop();
        }
        Value[Ahead.Back()] = Item;
        Ahead.Push(true);
    }
    for (; !Ahead.Empty(); ++Next) {
        EXPECT_EQ(Value[Ahead.Front()], Next * 10);
        Ahead.Pop();
    }
    EXPECT_EQ(Next, Items + 1);
}

} // namespace

// Reads that wait (a cold disk, a network share) bring every reader in, so
// that many requests are in flight; the order stays the push order.
TEST(ReadAhead, ReadsThatWaitPutEveryReaderToWork) {
    constexpr std::size_t Threads = 8;
    constexpr std::size_t Window = 256;
    std::vector<int> Value(Window, -1);
    TReadAhead Ahead(Threads, Window, [&](std::size_t Slot) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        Value[Slot] *= 10;
    });
    ASSERT_EQ(Ahead.Readers(), Threads);
    PushAllAndTakeInOrder(Ahead, Value, 1500);
    EXPECT_EQ(Ahead.MostBusy(), Threads);
}

// A run that asks for fewer readers (its work is light: answers from the tag
// index) keeps to them while nothing waits, and still brings every reader in
// once reads wait; either way the order stays the push order.
TEST(ReadAhead, FewestReadersGrowOnlyWhenReadsWait) {
    constexpr std::size_t Threads = 4;
    constexpr std::size_t Window = 64;
    for (const bool Waits : {false, true}) {
        std::vector<int> Value(Window, -1);
        TReadAhead Ahead(
            Threads, Window,
            [&](std::size_t Slot) {
                if (Waits) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                } else { // busy, never sleeping: enough work for a second reader
                    const auto Until =
                        std::chrono::steady_clock::now() + std::chrono::microseconds(20);
                    while (std::chrono::steady_clock::now() < Until) {
                    }
                }
                Value[Slot] *= 10;
            },
            {}, 1);
        PushAllAndTakeInOrder(Ahead, Value, Waits ? 800 : 5000);
        EXPECT_EQ(Ahead.MostBusy(), Waits ? Threads : 1u) << Waits;
    }
}

// An owner that helps works the runs no reader has taken while it waits for
// the oldest slot: every slot is still worked once and comes back in push
// order, with reads held and let go at random moments or not at all.
TEST(ReadAhead, AnOwnerThatHelpsWorksWaitingRunsOnceEachInPushOrder) {
    constexpr std::size_t Window = 64;
    for (const bool Holds : {false, true}) {
        std::vector<int> Value(Window, -1);
        const std::thread::id Owner = std::this_thread::get_id();
        std::atomic<int> ByOwner{0};
        std::atomic<bool> Held{false};
        TReadAhead Ahead(
            1, Window,
            [&](std::size_t Slot) {
                if (std::this_thread::get_id() == Owner)
                    ++ByOwner;
                const auto Until = std::chrono::steady_clock::now() + std::chrono::microseconds(20);
                while (std::chrono::steady_clock::now() < Until) {
                }
                Value[Slot] *= 10;
            },
            [&] { return Held.load(); }, 1, true);
        std::atomic<bool> Finished{false};
        std::thread Holder([&] {
            std::mt19937 Moments(Holds ? 7 : 8);
            while (Holds && !Finished.load()) {
                std::this_thread::sleep_for(std::chrono::microseconds(Moments() % 2000));
                Held = !Held.load();
            }
            Held = false;
        });
        PushAllAndTakeInOrder(Ahead, Value, 3000);
        Finished = true;
        Holder.join();
        EXPECT_GT(ByOwner.load(), 0) << "the owner never helped (holds: " << Holds << ")";
    }
}
