// The worker of a compile run and its controller. A hand-over is posted to the
// UI thread and the worker waits on a condition rather than in a blocking
// queued call, so that pausing, aborting or destroying the controller can
// always release it.
#include "engine/CompileThread.h"

#include <QCoreApplication>
#include <QMutex>
#include <QMutexLocker>
#include <QWaitCondition>

#include <algorithm>
#include <atomic>

// Shared by the worker and the controller; Mutex guards all but StopRequested
// and the job, which the worker only reads.
struct TCompileRunState {
    enum class HandOver { None, Status, File, Dropped };

    CompileJob Job;
    SearchReaders Readers;
    bool WantsDropped = false;                // the window takes dropped files too
    TCompileController* Controller = nullptr; // used only while not Detached

    QMutex Mutex;
    QWaitCondition Changed;
    std::atomic<bool> StopRequested{false};
    std::atomic<bool> HoldReads{false}; // Paused, for the tag readers, which take no lock
    bool Paused = false;
    bool Detached = false; // aborted, replaced or shut down: no more callbacks
    HandOver Pending = HandOver::None;
    bool Deferred = false;   // a hand-over arrived on the UI thread while paused
    bool Delivering = false; // the window's callback for Pending is running
    std::string StatusText;
    TFileInfo PendingFile;
    std::string FailureMessage; // why the run failed (a malformed mask); empty otherwise

    // Asks the UI thread to run the pending hand-over. Called under Mutex while
    // not Detached: the controller detaches every run under this lock before it
    // goes away, so it is alive here.
    static void PostDelivery(const std::shared_ptr<TCompileRunState>& State) {
        TCompileController* Controller = State->Controller;
        QMetaObject::invokeMethod(
            Controller, [Controller, State] { Controller->DeliverHandOver(State); },
            Qt::QueuedConnection);
    }
};

namespace {

void WaitWhilePaused(TCompileRunState& State) {
    while (State.Paused && !State.Detached)
        State.Changed.wait(&State.Mutex);
}

// Worker side: hands one status or file to the UI thread and waits until the
// window has taken it, or the run has been let go.
template <class Fill>
void HandOver(const std::shared_ptr<TCompileRunState>& State, TCompileRunState::HandOver Kind,
              Fill&& FillPending) {
    QMutexLocker Lock(&State->Mutex);
    WaitWhilePaused(*State);
    if (State->Detached)
        return;
    State->Pending = Kind;
    FillPending(*State);
    TCompileRunState::PostDelivery(State);
    while (State->Pending != TCompileRunState::HandOver::None && !State->Detached)
        State->Changed.wait(&State->Mutex);
    State->Pending = TCompileRunState::HandOver::None;
}

} // namespace

TCompileThread::TCompileThread(std::shared_ptr<TCompileRunState> State,
                               TCompileController* Controller)
    : QThread(nullptr), state_(std::move(State)) {
    state_->Controller = Controller;
}

TCompileThread::~TCompileThread() = default;

void TCompileThread::run() {
    const std::shared_ptr<TCompileRunState>& State = state_;
    try {
        auto ShowStatus = [&State](const std::string& Text) {
            HandOver(State, TCompileRunState::HandOver::Status,
                     [&Text](TCompileRunState& S) { S.StatusText = Text; });
        };
        SearchHooks Hooks;
        Hooks.StopRequested = [&State] {
            return State->StopRequested.load(std::memory_order_acquire);
        };
        Hooks.SafePoint = [&State] {
            QMutexLocker Lock(&State->Mutex);
            WaitWhilePaused(*State);
        };
        Hooks.HoldReads = [&State] { return State->HoldReads.load(std::memory_order_relaxed); };
        Hooks.ShowStatus = ShowStatus;
        Hooks.FoundFile = [&State](const TFileInfo& File) {
            HandOver(State, TCompileRunState::HandOver::File,
                     [&File](TCompileRunState& S) { S.PendingFile = File; });
        };
        if (State->WantsDropped)
            Hooks.DroppedFile = [&State](const TFileInfo& File) {
                HandOver(State, TCompileRunState::HandOver::Dropped,
                         [&File](TCompileRunState& S) { S.PendingFile = File; });
            };
        const SearchResult Result = RunSearch(State->Job, Hooks, State->Readers);
        // Read on the UI thread only after this thread has finished.
        if (Result.Outcome == SearchOutcome::Failed)
            State->FailureMessage = Result.ErrorMessage;
        if (Result.Outcome == SearchOutcome::Completed)
            ShowStatus(FinishedStatus(Result));
    } catch (...) {
        // Errors end the run without a message.
    }
}

// The controller's state belongs to the thread it lives on (the UI thread);
// a call from anywhere else would race the hand-overs, so it stops the program
// in every build rather than corrupt a run.
void TCompileController::RequireOwnThread(const char* Method) const {
    if (QThread::currentThread() != thread())
        qFatal("TCompileController::%s called off the UI thread", Method);
}

TCompileController::TCompileController(QObject* Parent) : QObject(Parent) {
    if (QCoreApplication* App = QCoreApplication::instance())
        connect(App, &QCoreApplication::aboutToQuit, this, &TCompileController::ShutDown);
}

TCompileController::~TCompileController() {
    ShutDown();
}

void TCompileController::StartCompile(CompileJob Job) {
    RequireOwnThread("StartCompile");
    if (current_)
        DetachRun(*current_);
    auto State = std::make_shared<TCompileRunState>();
    State->Job = std::move(Job);
    State->Readers = Readers;
    State->WantsDropped = static_cast<bool>(AddDroppedFile);
    auto* Thread = new TCompileThread(State, this);
    // Attached before the start, so even an instant end is reported.
    connect(Thread, &QThread::finished, this, [this, State] { ThreadFinished(State); });
    threads_.push_back(Thread);
    current_ = State;
    Thread->start();
}

void TCompileController::PauseCompile() {
    RequireOwnThread("PauseCompile");
    if (!current_)
        return;
    QMutexLocker Lock(&current_->Mutex);
    current_->Paused = true;
    current_->HoldReads.store(true, std::memory_order_relaxed);
}

void TCompileController::ResumeCompile() {
    RequireOwnThread("ResumeCompile");
    if (!current_)
        return;
    QMutexLocker Lock(&current_->Mutex);
    current_->Paused = false;
    current_->HoldReads.store(false, std::memory_order_relaxed);
    current_->Changed.wakeAll();
    if (current_->Deferred) {
        current_->Deferred = false;
        TCompileRunState::PostDelivery(current_);
    }
}

void TCompileController::AbortCompile() {
    RequireOwnThread("AbortCompile");
    if (!current_)
        return;
    DeliverPendingFile(current_);
    DetachRun(*current_);
    current_.reset();
}

bool TCompileController::HandOverWaiting() const {
    RequireOwnThread("HandOverWaiting");
    if (!current_)
        return false;
    QMutexLocker Lock(&current_->Mutex);
    return current_->Pending != TCompileRunState::HandOver::None && !current_->Delivering;
}

// A file the running worker handed over before the abort was found before it,
// so it still goes into the list. A status under way is dropped: it would only
// hide the window's "Ready to compile.". A paused run shows nothing new, so a
// hand-over it holds back stays held back.
void TCompileController::DeliverPendingFile(const std::shared_ptr<TCompileRunState>& State) {
    QMutexLocker Lock(&State->Mutex);
    if ((State->Pending != TCompileRunState::HandOver::File &&
         State->Pending != TCompileRunState::HandOver::Dropped) ||
        State->Delivering || State->Detached || State->Paused)
        return;
    CompleteHandOver(*State, Lock);
}

bool TCompileController::CompileExists() const {
    RequireOwnThread("CompileExists");
    return current_ != nullptr;
}

bool TCompileController::CompileRunning() const {
    RequireOwnThread("CompileRunning");
    if (!current_)
        return false;
    QMutexLocker Lock(&current_->Mutex);
    return !current_->Paused;
}

void TCompileController::DetachRun(TCompileRunState& State) {
    QMutexLocker Lock(&State.Mutex);
    State.Detached = true;
    State.Paused = false;
    State.HoldReads.store(false, std::memory_order_relaxed);
    State.StopRequested.store(true, std::memory_order_release);
    State.Changed.wakeAll();
}

void TCompileController::DeliverHandOver(const std::shared_ptr<TCompileRunState>& State) {
    RequireOwnThread("DeliverHandOver");
    QMutexLocker Lock(&State->Mutex);
    if (State->Pending == TCompileRunState::HandOver::None || State->Detached || State->Delivering)
        return;
    if (State->Paused) {
        State->Deferred = true; // delivered again on resume
        return;
    }
    CompleteHandOver(*State, Lock);
}

// Runs the window's callback for the pending hand-over, then releases the
// worker. Lock holds State.Mutex on entry and on return, not during the call.
void TCompileController::CompleteHandOver(TCompileRunState& State, QMutexLocker<QMutex>& Lock) {
    const TCompileRunState::HandOver Kind = State.Pending;
    State.Delivering = true;
    Lock.unlock();
    // The worker waits and leaves StatusText and PendingFile alone meanwhile.
    try {
        if (Kind == TCompileRunState::HandOver::Status) {
            if (ShowCompileStatus)
                ShowCompileStatus(State.StatusText);
        } else if (Kind == TCompileRunState::HandOver::Dropped) {
            if (AddDroppedFile)
                AddDroppedFile(State.PendingFile);
        } else if (AddFoundFile) {
            AddFoundFile(State.PendingFile);
        }
    } catch (...) {
        // A failing window callback must not leave the worker waiting.
    }
    Lock.relock();
    State.Delivering = false;
    State.Deferred = false;
    State.Pending = TCompileRunState::HandOver::None;
    State.Changed.wakeAll();
}

void TCompileController::ThreadFinished(const std::shared_ptr<TCompileRunState>& State) {
    RequireOwnThread("ThreadFinished");
    auto Found = std::find_if(threads_.begin(), threads_.end(),
                              [&State](TCompileThread* T) { return T->state_ == State; });
    if (Found == threads_.end())
        return; // already joined by ShutDown
    TCompileThread* Thread = *Found;
    threads_.erase(Found);
    Thread->wait();
    delete Thread;
    if (current_ != State)
        return; // aborted or replaced: the window has moved on
    current_.reset();
    if (CompileTerminated)
        CompileTerminated();
    if (!State->FailureMessage.empty() && CompileFailed)
        CompileFailed(State->FailureMessage);
}

void TCompileController::ShutDown() {
    RequireOwnThread("ShutDown");
    current_.reset();
    for (TCompileThread* Thread : threads_)
        DetachRun(*Thread->state_);
    for (TCompileThread* Thread : threads_) {
        Thread->wait();
        delete Thread;
    }
    threads_.clear();
}
