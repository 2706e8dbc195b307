// The compile run on its worker thread, and the window-side controller that
// starts, pauses, resumes and aborts it and hands its progress to the UI thread.
#pragma once

#include "engine/CompileJob.h"

#include <QObject>
#include <QThread>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TCompileController;
struct TCompileRunState; // shared by one worker and the controller; CompileThread.cpp

// One compile run: walks its own CompileJob on a new thread. Created, started
// and deleted by TCompileController only.
class TCompileThread : public QThread {
    Q_OBJECT
public:
    TCompileThread(std::shared_ptr<TCompileRunState> State, TCompileController* Controller);
    ~TCompileThread() override;

protected:
    void run() override;

private:
    friend class TCompileController;
    std::shared_ptr<TCompileRunState> state_;
};

// Owned by the window (UI thread). At most one run is current. The worker
// never waits for the window: it queues its hand-overs, and the UI thread takes
// them in batches (every HandOverMilliseconds, and at the run's end), so a
// batch of a few thousand files costs the window one insertion. Callbacks
// reach the window only from the current run, on the UI thread, in walk order:
//   ShowCompileStatus  "Searching <folder>..." and "Finished compiling playlist."
//   AddFoundFile       one accepted file
//   AddDroppedFile     one file a filename mask matched but the search dropped,
//                      with its reason, among the found files
//                      (only when set before StartCompile and the job records reasons)
//   HandOversDelivered after each batch of the above
//   CompileTerminated  the current run has ended (completed, or ended by an
//                      error) and everything it found has been handed over;
//                      CompileExists() is already false when it is called
// Pausing holds the hand-overs: none arrives while paused, not even the rest
// of a batch under way when a callback paused. AbortCompile, and StartCompile
// while a run exists, detach the run they end: nothing it queued and nothing it
// finds afterwards reaches the window (not even CompileTerminated), and it
// winds down on its own while a new run may already be going. Destroying the
// controller ends every run, paused or not, and waits for their threads.
class TCompileController : public QObject {
    Q_OBJECT
public:
    explicit TCompileController(QObject* Parent = nullptr);
    ~TCompileController() override;

    // Starts a run of Job. The caller has emptied its playlist.
    void StartCompile(CompileJob Job);
    // Holds the worker at its next safe point; no callback arrives while paused.
    void PauseCompile();
    void ResumeCompile();
    // Lets a paused worker go and asks it to stop at its next entry. Never waits.
    void AbortCompile();
    // A current run exists, running or paused.
    bool CompileExists() const;
    // A current run exists and is not paused.
    bool CompileRunning() const;

    // Threads not yet ended and joined: the current run's and detached ones.
    int ThreadCount() const { return static_cast<int>(threads_.size()); }
    // Hand-overs of the current run queued for the UI thread.
    int QueuedHandOvers() const;

    // How often the UI thread takes the queued hand-overs, and the most it
    // takes at once: a longer queue goes in several batches with the window's
    // own events between them.
    static constexpr int HandOverMilliseconds = 50;
    static constexpr int MaxBatch = 1000;
    // The most hand-overs queued at once: a worker that gets this far ahead
    // of the window waits for the next batch to be taken.
    static constexpr int MaxQueuedHandOvers = 20000;

    std::function<void(const std::string&)> ShowCompileStatus;
    std::function<void(const TFileInfo&)> AddFoundFile;
    std::function<void(const TFileInfo&)> AddDroppedFile;
    std::function<void()> HandOversDelivered;
    std::function<void()> CompileTerminated;
    // After CompileTerminated, when the current run ended on an error (a
    // malformed mask): its message.
    std::function<void(const std::string&)> CompileFailed;
    // How runs read tags; the program keeps the defaults, tests slow the reads down.
    SearchReaders Readers;

private:
    friend class TCompileThread;
    friend struct TCompileRunState;
    // Hands the current run's queued hand-overs to the window, then ends the
    // run when its thread has finished and nothing is left.
    void DeliverQueued();
    void ThreadFinished(const std::shared_ptr<TCompileRunState>& State);
    void DetachRun(TCompileRunState& State);
    // Ends the current run for the window, once its thread has finished, it is
    // not paused and everything it queued has been delivered.
    void EndRunWhenDone();
    void ShutDown();
    // Stops the program when Method is called from a thread other than the controller's.
    void RequireOwnThread(const char* Method) const;

    std::shared_ptr<TCompileRunState> current_;
    QTimer* handOverTimer_ = nullptr;
    // Every thread not yet finished, the current one and detached ones alike.
    std::vector<TCompileThread*> threads_;
};
