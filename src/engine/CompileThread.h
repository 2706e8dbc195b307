// The compile run on its worker thread, and the window-side controller that
// starts, pauses, resumes and aborts it and hands its progress to the UI thread.
#pragma once

#include "engine/CompileJob.h"

#include <QMutexLocker>
#include <QObject>
#include <QThread>

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

// Owned by the window (UI thread). At most one run is current; callbacks reach
// the window only from the current run, one at a time, on the UI thread, while
// the worker waits for each to return:
//   ShowCompileStatus  "Searching <folder>..." and "Finished compiling playlist."
//   AddFoundFile       one accepted file, in walk order
//   AddDroppedFile     one file a filename mask matched but the search dropped,
//                      with its reason, in walk order among the found files
//                      (only when set before StartCompile and the job records reasons)
//   CompileTerminated  the current run has ended (completed, or ended by an
//                      error); CompileExists() is already false when it is called
// AbortCompile, and StartCompile while a run exists, detach the run they end:
// it gets no further callbacks (not even CompileTerminated; AbortCompile first
// delivers a found file whose hand-over was already waiting, unless paused), and winds down on
// its own while a new run may already be going. Destroying the controller ends
// every run, paused or waiting on a hand-over, and waits for their threads.
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
    // A hand-over of the current run waits for the UI thread (for tests).
    bool HandOverWaiting() const;

    std::function<void(const std::string&)> ShowCompileStatus;
    std::function<void(const TFileInfo&)> AddFoundFile;
    std::function<void(const TFileInfo&)> AddDroppedFile;
    std::function<void()> CompileTerminated;
    // After CompileTerminated, when the current run ended on an error (a
    // malformed mask): its message.
    std::function<void(const std::string&)> CompileFailed;
    // How runs read tags; the program keeps the defaults, tests slow the reads down.
    SearchReaders Readers;

private:
    friend class TCompileThread;
    friend struct TCompileRunState;
    // Runs a pending hand-over of State on the UI thread (posted by the worker).
    void DeliverHandOver(const std::shared_ptr<TCompileRunState>& State);
    void ThreadFinished(const std::shared_ptr<TCompileRunState>& State);
    void DetachRun(TCompileRunState& State);
    void DeliverPendingFile(const std::shared_ptr<TCompileRunState>& State);
    void CompleteHandOver(TCompileRunState& State, QMutexLocker<QMutex>& Lock);
    void ShutDown();
    // Stops the program when Method is called from a thread other than the controller's.
    void RequireOwnThread(const char* Method) const;

    std::shared_ptr<TCompileRunState> current_;
    // Every thread not yet finished, the current one and detached ones alike.
    std::vector<TCompileThread*> threads_;
};
