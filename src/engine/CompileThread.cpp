// The worker of a compile run and its controller. The worker queues its
// hand-overs under a lock and goes on; the UI thread takes the queue in
// batches. The worker waits only while paused, or while the window is a whole
// queue behind, and pausing, aborting or destroying the controller always
// releases it.
#include "engine/CompileThread.h"

#include <QCoreApplication>
#include <QMutex>
#include <QMutexLocker>
#include <QWaitCondition>

#include <algorithm>
#include <atomic>
#include <deque>

// Shared by the worker and the controller; Mutex guards all but StopRequested
// and the job, which the worker only reads.
struct TCompileRunState {
    enum class HandOver { Status, File, Dropped };
    struct TItem {
        HandOver Kind = HandOver::Status;
        std::string StatusText;
        TFileInfo File;
    };

    CompileJob Job;
    SearchReaders Readers;
    bool WantsDropped = false; // the window takes dropped files too

    QMutex Mutex;
    QWaitCondition Changed;
    std::atomic<bool> StopRequested{false};
    std::atomic<bool> HoldReads{false}; // Paused, for the tag readers, which take no lock
    bool Paused = false;
    bool Detached = false;      // aborted, replaced or shut down: no more callbacks
    std::deque<TItem> Queue;    // hand-overs not yet taken by the UI thread
    std::string FailureMessage; // why the run failed (a malformed mask); empty otherwise

    // UI thread only.
    bool ThreadDone = false; // the worker has finished and its thread is joined
    bool Delivering = false; // a batch's callbacks are running
};

namespace {

void WaitWhilePaused(TCompileRunState& State) {
    while (State.Paused && !State.Detached)
        State.Changed.wait(&State.Mutex);
}

// Worker side: queues one status or file for the UI thread.
template <class Fill>
void HandOver(TCompileRunState& State, TCompileRunState::HandOver Kind, Fill&& FillItem) {
    QMutexLocker Lock(&State.Mutex);
    while (
        !State.Detached &&
        (State.Paused || State.Queue.size() >= std::size_t{TCompileController::MaxQueuedHandOvers}))
        State.Changed.wait(&State.Mutex);
    if (State.Detached)
        return;
    TCompileRunState::TItem& Item = State.Queue.emplace_back();
    Item.Kind = Kind;
    FillItem(Item);
}

} // namespace

TCompileThread::TCompileThread(std::shared_ptr<TCompileRunState> State,
                               TCompileController* /*Controller*/)
    : QThread(nullptr), state_(std::move(State)) {}

TCompileThread::~TCompileThread() = default;

void TCompileThread::run() {
    TCompileRunState& State = *state_;
    try {
        using TItem = TCompileRunState::TItem;
        auto ShowStatus = [&State](const std::string& Text) {
            HandOver(State, TCompileRunState::HandOver::Status,
                     [&Text](TItem& Item) { Item.StatusText = Text; });
        };
        SearchHooks Hooks;
        Hooks.StopRequested = [&State] {
            return State.StopRequested.load(std::memory_order_acquire);
        };
        Hooks.SafePoint = [&State] {
            QMutexLocker Lock(&State.Mutex);
            WaitWhilePaused(State);
        };
        Hooks.HoldReads = [&State] { return State.HoldReads.load(std::memory_order_relaxed); };
        Hooks.ShowStatus = ShowStatus;
        Hooks.FoundFile = [&State](const TFileInfo& File) {
            HandOver(State, TCompileRunState::HandOver::File,
                     [&File](TItem& Item) { Item.File = File; });
        };
        if (State.WantsDropped)
            Hooks.DroppedFile = [&State](const TFileInfo& File) {
                HandOver(State, TCompileRunState::HandOver::Dropped,
                         [&File](TItem& Item) { Item.File = File; });
            };
        const SearchResult Result = RunSearch(State.Job, Hooks, State.Readers);
        // Read on the UI thread only after this thread has finished.
        if (Result.Outcome == SearchOutcome::Failed)
            State.FailureMessage = Result.ErrorMessage;
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

TCompileController::TCompileController(QObject* Parent)
    : QObject(Parent), handOverTimer_(new QTimer(this)) {
    handOverTimer_->setInterval(HandOverMilliseconds);
    connect(handOverTimer_, &QTimer::timeout, this, &TCompileController::DeliverQueued);
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
    handOverTimer_->start();
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
    {
        QMutexLocker Lock(&current_->Mutex);
        current_->Paused = false;
        current_->HoldReads.store(false, std::memory_order_relaxed);
        current_->Changed.wakeAll();
    }
    // A run that finished while paused ends at the next batch.
}

void TCompileController::AbortCompile() {
    RequireOwnThread("AbortCompile");
    if (!current_)
        return;
    DetachRun(*current_);
    current_.reset();
    handOverTimer_->stop();
}

int TCompileController::QueuedHandOvers() const {
    RequireOwnThread("QueuedHandOvers");
    if (!current_)
        return 0;
    QMutexLocker Lock(&current_->Mutex);
    return static_cast<int>(current_->Queue.size());
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
    std::deque<TCompileRunState::TItem>().swap(State.Queue);
    State.Changed.wakeAll();
}

// One batch: what is queued, in order, up to MaxBatch. A callback may pause the run
// (the rest waits for the resume), abort it or start another (the rest is
// dropped); the batch stops there.
void TCompileController::DeliverQueued() {
    RequireOwnThread("DeliverQueued");
    const std::shared_ptr<TCompileRunState> State = current_;
    if (!State || State->Delivering)
        return;
    std::deque<TCompileRunState::TItem> batch;
    {
        QMutexLocker Lock(&State->Mutex);
        if (State->Paused || State->Detached)
            return;
        if (State->Queue.size() <= std::size_t{MaxBatch}) {
            batch.swap(State->Queue);
        } else {
            const auto end = State->Queue.begin() + MaxBatch;
            batch.assign(std::make_move_iterator(State->Queue.begin()),
                         std::make_move_iterator(end));
            State->Queue.erase(State->Queue.begin(), end);
            // The rest follows once the events waiting meanwhile have run.
            QMetaObject::invokeMethod(this, &TCompileController::DeliverQueued,
                                      Qt::QueuedConnection);
        }
        State->Changed.wakeAll(); // a worker held by a full queue goes on
    }
    State->Delivering = true;
    bool delivered = false;
    while (!batch.empty()) {
        const TCompileRunState::TItem& item = batch.front();
        try {
            switch (item.Kind) {
            case TCompileRunState::HandOver::Status:
                if (ShowCompileStatus)
                    ShowCompileStatus(item.StatusText);
                break;
            case TCompileRunState::HandOver::File:
                if (AddFoundFile)
                    AddFoundFile(item.File);
                break;
            case TCompileRunState::HandOver::Dropped:
                if (AddDroppedFile)
                    AddDroppedFile(item.File);
                break;
            }
        } catch (...) {
            // A failing window callback must not stop the hand-overs.
        }
        delivered = true;
        batch.pop_front();
        if (current_ != State)
            break; // aborted or replaced: the rest is the old run's
        QMutexLocker Lock(&State->Mutex);
        if (State->Paused) {
            // Held until the resume, ahead of what the worker queued meanwhile.
            State->Queue.insert(State->Queue.begin(), std::make_move_iterator(batch.begin()),
                                std::make_move_iterator(batch.end()));
            break;
        }
    }
    State->Delivering = false;
    if (delivered && current_ == State && HandOversDelivered)
        HandOversDelivered();
    EndRunWhenDone();
}

void TCompileController::EndRunWhenDone() {
    const std::shared_ptr<TCompileRunState> State = current_;
    if (!State || !State->ThreadDone || State->Delivering)
        return;
    {
        QMutexLocker Lock(&State->Mutex);
        if (State->Paused || !State->Queue.empty())
            return;
    }
    current_.reset();
    handOverTimer_->stop();
    if (CompileTerminated)
        CompileTerminated();
    if (!State->FailureMessage.empty() && CompileFailed)
        CompileFailed(State->FailureMessage);
}

void TCompileController::ThreadFinished(const std::shared_ptr<TCompileRunState>& State) {
    RequireOwnThread("ThreadFinished");
    const auto find = [this, &State] {
        return std::find_if(threads_.begin(), threads_.end(),
                            [&State](TCompileThread* T) { return T->state_ == State; });
    };
    if (find() == threads_.end())
        return; // already joined by ShutDown
    (*find())->wait();
    State->ThreadDone = true;
    // What is left, then the end. The thread counts as running until then: a
    // callback that starts another run sees both.
    if (current_ == State)
        DeliverQueued();
    const auto found = find(); // a callback may have shut everything down
    if (found == threads_.end())
        return;
    TCompileThread* Thread = *found;
    threads_.erase(found);
    delete Thread;
}

void TCompileController::ShutDown() {
    RequireOwnThread("ShutDown");
    current_.reset();
    if (handOverTimer_)
        handOverTimer_->stop();
    for (TCompileThread* Thread : threads_)
        DetachRun(*Thread->state_);
    for (TCompileThread* Thread : threads_) {
        Thread->wait();
        delete Thread;
    }
    threads_.clear();
}
