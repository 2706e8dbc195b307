// Compile runs whose tags are read by slowed-down threads ahead of the walk,
// paused, resumed and aborted at random moments by the window: the list gets
// what a run on one thread gives, in its order, and nothing while paused or
// after the abort.
#include "engine/CompileThread.h"

#include "support/TagBytes.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

namespace {

// Tagged, excluded, ID3v1-only and tagless .mp3 files and other files, in nested folders.
void MakeLibrary(const TempDir& Dir) {
    std::mt19937 Random(3);
    const char* const Folders[] = {"", "a/", "a/b/", "c/", "c/d/e/"};
    int Serial = 0;
    for (const char* Folder : Folders)
        for (int I = 0; I < 16; ++I, ++Serial) {
            const std::string Name = Folder + std::to_string(Serial);
            tagbytes::V1 V1;
            V1.Title = "v1 " + Name;
            switch (Random() % 5) {
            case 0:
                Dir.write(Name + ".txt", "x");
                break;
            case 1:
                Dir.write(Name + ".mp3", std::string(90, 'a') + tagbytes::V1Block(V1));
                break;
            case 2:
                Dir.write(Name + ".mp3", std::string(90, 'a'));
                break;
            default:
                Dir.write(Name + ".mp3",
                          tagbytes::Tag(3, tagbytes::TextFrame(3, "TIT2", "t " + Name)));
            }
        }
}

struct RunRecord {
    std::vector<std::string> Events; // "S:<status>", "F:<path>|<title>|<size>", "T"
    bool Paused = false;             // no hand-over may arrive
    bool Aborted = false;            // nothing at all may arrive

    void Attach(TCompileController& Controller) {
        Controller.ShowCompileStatus = [this](const std::string& Text) { Note("S:" + Text); };
        Controller.AddFoundFile = [this](const TFileInfo& File) {
            Note("F:" + File.FileName + "|" + File.MediaInfo.Title + "|" +
                 std::to_string(File.Size));
        };
        Controller.CompileTerminated = [this] { Note("T"); };
    }
    void Note(std::string Event) {
        // The end of a run whose last status came before the pause is no hand-over.
        if (Aborted || (Paused && Event != "T"))
            ADD_FAILURE() << (Aborted ? "after the abort: " : "while paused: ") << Event;
        Events.push_back(std::move(Event));
    }
};

bool WaitFor(const std::function<bool()>& Condition) {
    return QTest::qWaitFor(Condition, 60000);
}

} // namespace

TEST(CompileController, ReadersAheadOfTheWalkChangeNothingButTheSpeed) {
    TempDir Dir;
    MakeLibrary(Dir);
    CompileJob Job;
    Job.Folders = {Dir.str()};
    Job.FilenameMasks = {"*"};
    Job.IncludeTaglessFiles = true;
    Job.ThoroughID3Check = true;
    Job.Criteria.Fields[FieldTitle].Criteria = {{"*", CriterionState::Include},
                                                {"t 1*", CriterionState::Exclude}};
    Job.Criteria.Fields[FieldTitle].Rule = PrecedenceRule::ExclusionFirst;
    Job.Criteria.IncludeCount = 1;

    RunRecord Expected;
    {
        TCompileController Controller;
        Controller.Readers.Threads = 0;
        Expected.Attach(Controller);
        Controller.StartCompile(Job);
        ASSERT_TRUE(WaitFor([&] { return !Controller.CompileExists(); }));
    }
    ASSERT_GT(Expected.Events.size(), 30u);

    std::mt19937 Random(41);
    int Aborted = 0;
    int Completed = 0;
    for (int Round = 0; Round < 12; ++Round) {
        TCompileController Controller;
        Controller.Readers.Threads = 1 + Random() % 8;
        Controller.Readers.Window = std::vector<std::size_t>{2, 9, 256}[Random() % 3];
        Controller.Readers.Read = [](int FolderFd, const char* Name, TMediaInfo& Info,
                                     std::int64_t& Size) {
            thread_local std::mt19937 Delay(
                std::hash<std::thread::id>()(std::this_thread::get_id()));
            std::this_thread::sleep_for(std::chrono::microseconds(Delay() % 400));
            return ReadMediaInfoAt(FolderFd, Name, Info, Size);
        };
        RunRecord Got;
        Got.Attach(Controller);
        const bool Abort = Round % 2 == 1;
        const int AbortAfter = static_cast<int>(Random() % 30); // window actions
        Controller.StartCompile(Job);
        for (int Action = 0; Controller.CompileExists(); ++Action) {
            QTest::qWait(static_cast<int>(Random() % 4));
            if (!Controller.CompileExists())
                break;
            if (Abort && Action == AbortAfter) {
                Controller.AbortCompile();
                Got.Aborted = true;
            } else if (!Controller.CompileRunning()) {
                Controller.ResumeCompile();
                Got.Paused = false;
            } else if (Random() % 3 == 0) {
                Controller.PauseCompile();
                Got.Paused = true;
            }
        }
        ASSERT_TRUE(WaitFor([&] { return Controller.ThreadCount() == 0; }));
        QTest::qWait(5);
        const std::string Case = "round " + std::to_string(Round) + ", " +
                                 std::to_string(Controller.Readers.Threads) + " readers";
        if (Got.Events == Expected.Events) {
            ++Completed;
            continue;
        }
        ++Aborted;
        EXPECT_TRUE(Abort) << Case;
        ASSERT_LT(Got.Events.size(), Expected.Events.size()) << Case;
        EXPECT_TRUE(std::equal(Got.Events.begin(), Got.Events.end(), Expected.Events.begin()))
            << Case << ": not the one-thread run's order";
    }
    EXPECT_GT(Completed, 0);
    EXPECT_GT(Aborted, 0);
}
