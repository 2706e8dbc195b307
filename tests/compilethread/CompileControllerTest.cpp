// The compile run on its worker thread: the order of its callbacks, pause,
// resume, abort, overlapping runs and shutting down mid-run.
#include "engine/CompileThread.h"

#include "support/TempDir.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>
#include <utility>

namespace {

// Stands in for the window: records every callback in arrival order.
struct Receiver {
    std::vector<std::string> Events; // "S:<status>", "F:<path>", "T"
    int Files = 0;
    int Terminated = 0;
    bool OffUiThread = false;
    std::function<void(const TFileInfo&)> OnFile;

    void Attach(TCompileController& Controller) {
        Controller.ShowCompileStatus = [this](const std::string& Text) {
            Check();
            Events.push_back("S:" + Text);
        };
        Controller.AddFoundFile = [this](const TFileInfo& File) {
            Check();
            Events.push_back("F:" + File.FileName);
            ++Files;
            if (OnFile)
                OnFile(File);
        };
        Controller.CompileTerminated = [this] {
            Check();
            Events.push_back("T");
            ++Terminated;
        };
    }
    void Check() { OffUiThread |= QThread::currentThread() != qApp->thread(); }
    bool Finished() const {
        return std::find(Events.begin(), Events.end(),
                         std::string("S:") + FinishedCompilingMessage) != Events.end();
    }
};

// A folder of Count tagless files that a "*" mask with tagless files on accepts.
CompileJob TaglessJob(const TempDir& Dir, int Count, const std::string& Sub = "") {
    for (int I = 0; I < Count; ++I)
        Dir.write(Sub + "f" + std::to_string(I) + ".wav", "x");
    CompileJob Job;
    Job.Folders = {Dir.str()};
    Job.FilenameMasks = {"*"};
    Job.IncludeTaglessFiles = true;
    return Job;
}

// Liveness only: generous, never a measure of speed.
bool WaitFor(const std::function<bool()>& Condition) {
    return QTest::qWaitFor(Condition, 60000);
}

// Lets the event loop run a while, to show that nothing arrives.
void Idle(int Milliseconds) {
    QTest::qWait(Milliseconds);
}

} // namespace

TEST(CompileController, CompleteRunHandsOverInOrderOnTheUiThread) {
    TempDir Dir;
    CompileJob Job = TaglessJob(Dir, 3, "a/");
    TaglessJob(Dir, 3, "b/");
    TCompileController Controller;
    Receiver R;
    R.Attach(Controller);
    Controller.CompileTerminated = [&, Inner = Controller.CompileTerminated] {
        EXPECT_FALSE(Controller.CompileExists());
        Inner();
    };

    Controller.StartCompile(Job);
    EXPECT_TRUE(Controller.CompileExists());
    EXPECT_TRUE(Controller.CompileRunning());
    ASSERT_TRUE(WaitFor([&] { return R.Terminated == 1; }));

    EXPECT_FALSE(R.OffUiThread);
    EXPECT_EQ(R.Files, 6);
    ASSERT_GE(R.Events.size(), 3u);
    EXPECT_EQ(R.Events.back(), "T");
    EXPECT_EQ(R.Events[R.Events.size() - 2], std::string("S:") + FinishedCompilingMessage);
    // Each file comes after the status that names its folder.
    std::string Folder;
    for (const std::string& Event : R.Events) {
        if (Event.rfind("S:Searching ", 0) == 0) {
            Folder = Event.substr(12, Event.size() - 15);
        } else if (Event[0] == 'F') {
            EXPECT_EQ(Event.substr(2, Event.rfind('/') - 2), Folder) << Event;
        }
    }
    EXPECT_FALSE(Controller.CompileExists());
    EXPECT_TRUE(WaitFor([&] { return Controller.ThreadCount() == 0; }));
}

TEST(CompileController, PauseHoldsHandOversUntilResumed) {
    TempDir Dir;
    TCompileController Controller;
    Receiver R;
    R.Attach(Controller);
    R.OnFile = [&](const TFileInfo&) {
        if (R.Files == 1)
            Controller.PauseCompile(); // the worker is waiting on this very hand-over
    };
    Controller.StartCompile(TaglessJob(Dir, 40));
    ASSERT_TRUE(WaitFor([&] { return R.Files == 1; }));
    EXPECT_TRUE(Controller.CompileExists());
    EXPECT_FALSE(Controller.CompileRunning());
    const std::size_t Seen = R.Events.size();
    Idle(300);
    EXPECT_EQ(R.Events.size(), Seen);

    Controller.ResumeCompile();
    EXPECT_TRUE(Controller.CompileRunning());
    ASSERT_TRUE(WaitFor([&] { return R.Terminated == 1; }));
    EXPECT_EQ(R.Files, 40);
    EXPECT_TRUE(R.Finished());
}

TEST(CompileController, PauseHoldsAHandOverAlreadyOnItsWay) {
    TempDir Dir;
    TCompileController Controller;
    Receiver R;
    R.Attach(Controller);
    Controller.StartCompile(TaglessJob(Dir, 10));
    // Without the event loop the worker queues everything it finds.
    QThread::msleep(200);
    Controller.PauseCompile();
    Idle(300);
    EXPECT_TRUE(R.Events.empty());
    Controller.ResumeCompile();
    ASSERT_TRUE(WaitFor([&] { return R.Terminated == 1; }));
    EXPECT_EQ(R.Files, 10);
    EXPECT_EQ(R.Events.front().rfind("S:Searching ", 0), 0u);
}

TEST(CompileController, AbortEndsTheRunWithoutFurtherCallbacks) {
    for (bool WhilePaused : {false, true}) {
        TempDir Dir;
        TCompileController Controller;
        Receiver R;
        R.Attach(Controller);
        R.OnFile = [&](const TFileInfo&) {
            if (R.Files != 1)
                return;
            if (WhilePaused)
                Controller.PauseCompile();
            else
                Controller.AbortCompile();
        };
        Controller.StartCompile(TaglessJob(Dir, 40));
        ASSERT_TRUE(WaitFor([&] { return R.Files == 1; }));
        if (WhilePaused) {
            Idle(50);
            Controller.AbortCompile();
        }
        EXPECT_FALSE(Controller.CompileExists());
        EXPECT_FALSE(Controller.CompileRunning());
        ASSERT_TRUE(WaitFor([&] { return Controller.ThreadCount() == 0; })) << WhilePaused;
        Idle(50);
        EXPECT_EQ(R.Files, 1) << WhilePaused;
        EXPECT_EQ(R.Terminated, 0) << WhilePaused;
        EXPECT_FALSE(R.Finished()) << WhilePaused;
    }
}

// Files the worker queued before the stop but the window has not taken yet
// stay out of the list, as does everything after.
TEST(CompileController, AbortLeavesQueuedFilesOutOfTheList) {
    TempDir Dir;
    TCompileController Controller;
    Receiver R;
    R.Attach(Controller);
    Controller.StartCompile(TaglessJob(Dir, 40));
    // No event processing here: the queue fills without being taken.
    QDeadlineTimer Deadline(60000);
    while (Controller.QueuedHandOvers() == 0 && !Deadline.hasExpired())
        QThread::msleep(1);
    const int QueuedAtAbort = Controller.QueuedHandOvers();
    Controller.AbortCompile();
    ASSERT_TRUE(WaitFor([&] { return Controller.ThreadCount() == 0; }));
    Idle(100);
    EXPECT_GT(QueuedAtAbort, 0);
    EXPECT_EQ(Controller.QueuedHandOvers(), 0);
    EXPECT_TRUE(R.Events.empty());
}

// Files arrive in batches: each batch is followed by one HandOversDelivered,
// and a run of a few thousand files takes far fewer batches than files. The
// last batch comes before CompileTerminated.
TEST(CompileController, FilesArriveInBatchesEachAnnouncedOnce) {
    TempDir Dir;
    constexpr int Count = 1000;
    TCompileController Controller;
    Receiver R;
    R.Attach(Controller);
    int Batches = 0, FilesAtLastBatch = -1;
    bool BatchAfterEnd = false;
    Controller.HandOversDelivered = [&] {
        R.Check();
        ++Batches;
        FilesAtLastBatch = R.Files;
        BatchAfterEnd |= R.Terminated > 0;
    };
    Controller.StartCompile(TaglessJob(Dir, Count));
    ASSERT_TRUE(WaitFor([&] { return R.Terminated == 1; }));
    EXPECT_FALSE(R.OffUiThread);
    EXPECT_EQ(R.Files, Count);
    EXPECT_EQ(FilesAtLastBatch, Count);
    EXPECT_FALSE(BatchAfterEnd);
    EXPECT_GE(Batches, 1);
    // The worker finds files far faster than 20 per batch interval.
    EXPECT_LT(Batches, Count / 20) << "one batch per file or nearly";
}

TEST(CompileController, MalformedMaskEndsTheRunWithoutFinishing) {
    TempDir Dir;
    CompileJob Job = TaglessJob(Dir, 3);
    Job.FilenameMasks = {"[a"};
    TCompileController Controller;
    Receiver R;
    R.Attach(Controller);
    Controller.StartCompile(Job);
    ASSERT_TRUE(WaitFor([&] { return R.Terminated == 1; }));
    EXPECT_EQ(R.Events, (std::vector<std::string>{"S:Searching " + Dir.str() + "...", "T"}));
}

TEST(CompileController, EmptyRunGoesStraightToFinished) {
    TempDir Dir;
    CompileJob Job = TaglessJob(Dir, 0);
    TCompileController Controller;
    Receiver R;
    R.Attach(Controller);
    Controller.StartCompile(Job);
    ASSERT_TRUE(WaitFor([&] { return R.Terminated == 1; }));
    EXPECT_EQ(R.Events,
              (std::vector<std::string>{std::string("S:") + FinishedCompilingMessage, "T"}));
}

TEST(CompileController, NewRunWhileAnAbortedOneWindsDown) {
    TempDir First;
    TempDir Second;
    const CompileJob Old = TaglessJob(First, 40);
    const CompileJob New = TaglessJob(Second, 5);
    TCompileController Controller;
    Receiver R;
    R.Attach(Controller);
    std::size_t RestartedAt = 0;
    R.OnFile = [&](const TFileInfo& File) {
        // Inside the old run's hand-over: its worker is still waiting on it.
        if (RestartedAt == 0 && File.FileName.rfind(First.str(), 0) == 0) {
            Controller.AbortCompile();
            Controller.StartCompile(New);
            RestartedAt = R.Events.size();
            EXPECT_EQ(Controller.ThreadCount(), 2);
        }
    };
    Controller.StartCompile(Old);
    ASSERT_TRUE(WaitFor([&] { return R.Terminated == 1; }));
    ASSERT_TRUE(WaitFor([&] { return Controller.ThreadCount() == 0; }));
    Idle(50);

    EXPECT_EQ(R.Terminated, 1);
    EXPECT_FALSE(Controller.CompileExists());
    int NewFiles = 0;
    for (std::size_t I = RestartedAt; I < R.Events.size(); ++I) {
        if (R.Events[I][0] == 'F') {
            EXPECT_EQ(R.Events[I].rfind("F:" + Second.str(), 0), 0u) << R.Events[I];
            ++NewFiles;
        }
    }
    EXPECT_EQ(NewFiles, 5);
    EXPECT_EQ(R.Events.back(), "T");
    EXPECT_EQ(R.Events[R.Events.size() - 2], std::string("S:") + FinishedCompilingMessage);
}

TEST(CompileController, DestroyingTheControllerMidRunNeitherAbortsNorHangs) {
    enum Moment { Paused, HandOversQueued, Walking };
    for (Moment When : {Paused, HandOversQueued, Walking}) {
        TempDir Dir;
        const CompileJob Job = TaglessJob(Dir, 200);
        Receiver R;
        {
            auto Controller = std::make_unique<TCompileController>();
            R.Attach(*Controller);
            R.OnFile = [&](const TFileInfo&) {
                if (When == Paused && R.Files == 1)
                    Controller->PauseCompile();
            };
            Controller->StartCompile(Job);
            if (When == Paused) {
                ASSERT_TRUE(WaitFor([&] { return R.Files == 1; }));
            } else if (When == HandOversQueued) {
                QThread::msleep(100); // no event loop: the hand-overs wait in the queue
            }
            // Walking: destroyed straight after the start.
        }
        const std::size_t Seen = R.Events.size();
        Idle(50);
        EXPECT_EQ(R.Events.size(), Seen) << When;
        EXPECT_EQ(R.Terminated, 0) << When;
    }
}

TEST(CompileController, QuittingTheApplicationEndsAPausedRun) {
    TempDir Dir;
    TCompileController Controller;
    Receiver R;
    R.Attach(Controller);
    R.OnFile = [&](const TFileInfo&) { Controller.PauseCompile(); };
    Controller.StartCompile(TaglessJob(Dir, 20));
    ASSERT_TRUE(WaitFor([&] { return R.Files == 1; }));
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    EXPECT_EQ(Controller.ThreadCount(), 0);
    EXPECT_FALSE(Controller.CompileExists());
    EXPECT_EQ(R.Files, 1);
}

// The controller's methods belong to the UI thread; a call from the worker's
// side (or any other thread) stops the program instead of racing a run.
TEST(CompileControllerDeathTest, CallsFromAnotherThreadStopTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::vector<std::pair<const char*, std::function<void(TCompileController&)>>> calls = {
        {"PauseCompile", [](TCompileController& C) { C.PauseCompile(); }},
        {"ResumeCompile", [](TCompileController& C) { C.ResumeCompile(); }},
        {"AbortCompile", [](TCompileController& C) { C.AbortCompile(); }},
        {"CompileExists", [](TCompileController& C) { C.CompileExists(); }},
        {"StartCompile", [](TCompileController& C) { C.StartCompile(CompileJob{}); }},
    };
    for (const auto& [name, call] : calls) {
        EXPECT_DEATH(
            {
                TCompileController controller;
                std::thread other([&] { call(controller); });
                other.join();
            },
            std::string("TCompileController::") + name + " called off the UI thread")
            << name;
    }
    // The same calls on the UI thread are fine.
    TCompileController controller;
    for (const auto& [name, call] : calls)
        if (std::string(name) != "StartCompile")
            call(controller);
    EXPECT_FALSE(controller.CompileExists());
}
