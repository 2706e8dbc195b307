// The readers of the read-ahead window. One lock guards the queue of runs
// waiting for a reader; a finished slot is marked in its own flag, and the
// owner, when it has to wait, sleeps on one counter of finished runs that a
// reader bumps once per run, so wake-ups cost once per run, not per file.
#include "engine/ReadAhead.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#include <sys/resource.h>

namespace {

// How often a held reader looks again whether it may go on: pausing is rare
// and a pause of a few milliseconds more is not seen.
constexpr std::chrono::milliseconds HoldPoll{20};
// Slots needing work in one run. Longer runs save meetings of the threads on
// a warm cache; the window holds many runs, so a cold disk still gets one
// request from every reader at a time.
constexpr std::size_t RunWork = 16;
// Reads the index answers (a status and a look-up each) come in runs of a
// folder's files, so short that counting the reader's waits around each
// run (two system calls) was a visible share of a second compile: there
// one run in this many is counted, enough to see a cold disk.
constexpr std::size_t LightRunsPerCount = 8;

// Times this thread has gone to sleep on its own: for a reader, each one is
// a read that had to wait for the disk (or the network).
long Blocked() {
    rusage Usage{};
    return getrusage(RUSAGE_THREAD, &Usage) == 0 ? Usage.ru_nvcsw : 0;
}

} // namespace

TReadAhead::TReadAhead(std::size_t Threads, std::size_t Window,
                       std::function<void(std::size_t)> Work, std::function<bool()> Held,
                       std::size_t Fewest, bool OwnerHelps)
    : window_(std::max<std::size_t>(Window, 1)), work_(std::move(Work)), held_(std::move(Held)),
      done_(new std::atomic<bool>[window_]), needsWork_(new bool[window_]), ownerHelps_(OwnerHelps),
      queue_(window_) {
    for (std::size_t Slot = 0; Slot < window_; ++Slot) {
        done_[Slot].store(true, std::memory_order_relaxed);
        needsWork_[Slot] = false;
    }
    const std::size_t Cores = std::max(1u, std::thread::hardware_concurrency());
    fewest_ = std::max<std::size_t>(std::min(Threads, Fewest > 0 ? Fewest : Cores), 1);
    working_.store(fewest_, std::memory_order_relaxed);
    most_.store(Threads, std::memory_order_relaxed);
    readers_.reserve(Threads);
    try {
        for (std::size_t I = 0; I < Threads; ++I) {
            readers_.emplace_back([this, I] { Read(I); });
            started_.fetch_add(1, std::memory_order_relaxed);
        }
    } catch (const std::system_error&) {
        // Out of threads: the readers there are do the work; with none, Push does it.
        std::lock_guard Lock(mutex_);
        most_.store(readers_.size(), std::memory_order_relaxed);
        fewest_ = std::min(fewest_, readers_.size());
        working_.store(fewest_, std::memory_order_relaxed);
    }
}

TReadAhead::~TReadAhead() {
    {
        std::lock_guard Lock(mutex_);
        closing_.store(true, std::memory_order_relaxed);
    }
    wake_.notify_all();
    spare_.notify_all();
    for (std::thread& Reader : readers_)
        Reader.join();
}

void TReadAhead::Push(bool NeedsWork) {
    const std::size_t Slot = Back();
    ++count_;
    if (NeedsWork && readers_.empty()) {
        work_(Slot);
        NeedsWork = false;
    }
    needsWork_[Slot] = NeedsWork;
    done_[Slot].store(!NeedsWork, std::memory_order_relaxed);
    if (!NeedsWork)
        return;
    // A run starts and ends with a slot needing work, so none of its slots
    // can be handed back before a reader has taken the whole run.
    if (runWork_ == 0)
        runFirst_ = Slot;
    runLength_ = (Slot + window_ - runFirst_) % window_ + 1;
    if (++runWork_ == RunWork)
        Publish();
}

void TReadAhead::Publish() {
    if (runWork_ == 0)
        return;
    bool Wake;
    {
        std::lock_guard Lock(mutex_);
        queue_[(queueHead_ + queued_) % window_] = {runFirst_, runLength_};
        ++queued_;
        Wake = idle_ > 0;
    }
    runLength_ = 0;
    runWork_ = 0;
    if (Wake)
        wake_.notify_one();
}

std::size_t TReadAhead::Front() {
    const std::size_t Slot = head_;
    if (done_[Slot].load(std::memory_order_acquire))
        return Slot;
    if (runWork_ > 0 && (Slot + window_ - runFirst_) % window_ < runLength_)
        Publish(); // the slot waits in the run being gathered
    for (;;) {
        const std::uint32_t Seen = finishedRuns_.load(std::memory_order_acquire);
        if (done_[Slot].load(std::memory_order_acquire))
            return Slot;
        TRun Run;
        if (ownerHelps_ && TakeRun(Run)) {
            std::size_t Worked = 0;
            bool WasHeld = false;
            WorkRun(Run, ownerNeeds_, Worked, WasHeld);
            continue;
        }
        finishedRuns_.wait(Seen, std::memory_order_acquire);
    }
}

bool TReadAhead::TakeRun(TRun& Run) {
    std::lock_guard Lock(mutex_);
    if (queued_ == 0 || HeldNow())
        return false;
    Run = queue_[queueHead_];
    queueHead_ = (queueHead_ + 1) % window_;
    --queued_;
    return true;
}

bool TReadAhead::WorkRun(const TRun& Run, std::vector<char>& Needs, std::size_t& Worked,
                         bool& WasHeld) {
    // Read before the first slot is done: a slot of the run that needs no
    // work may be handed back and filled again after that.
    Needs.resize(Run.Length);
    for (std::size_t I = 0; I < Run.Length; ++I)
        Needs[I] = needsWork_[(Run.First + I) % window_];
    for (std::size_t I = 0; I < Run.Length; ++I) {
        const std::size_t Slot = (Run.First + I) % window_;
        if (!Needs[I])
            continue;
        while (HeldNow() && !closing_.load(std::memory_order_relaxed)) {
            WasHeld = true;
            std::this_thread::sleep_for(HoldPoll);
        }
        if (closing_.load(std::memory_order_relaxed))
            return false; // the owner no longer wants what is left
        work_(Slot);
        ++Worked;
        done_[Slot].store(true, std::memory_order_release);
    }
    // The owner may be waiting on any slot of the run; it looks again.
    finishedRuns_.fetch_add(1, std::memory_order_release);
    finishedRuns_.notify_one();
    return true;
}

void TReadAhead::Pop() {
    head_ = (head_ + 1) % window_;
    --count_;
}

void TReadAhead::Read(std::size_t Index) {
    std::vector<char> Needs;
    std::size_t Runs = 0;
    std::unique_lock Lock(mutex_);
    for (;;) {
        for (;;) {
            if (closing_.load(std::memory_order_relaxed))
                return;
            if (Index >= working_.load(std::memory_order_relaxed)) {
                // A wake-up meant for a working reader may have come here.
                if (queued_ > 0)
                    wake_.notify_one();
                spare_.wait(Lock);
                continue;
            }
            if (queued_ > 0 && !HeldNow())
                break;
            ++idle_;
            idleHint_.store(idle_, std::memory_order_relaxed);
            if (queued_ == 0)
                wake_.wait(Lock);
            else
                wake_.wait_for(Lock, HoldPoll);
            --idle_;
            idleHint_.store(idle_, std::memory_order_relaxed);
        }
        const TRun Run = queue_[queueHead_];
        queueHead_ = (queueHead_ + 1) % window_;
        --queued_;
        Lock.unlock();
        const std::size_t Busy = busy_.fetch_add(1, std::memory_order_relaxed) + 1;
        std::size_t Most = mostBusy_.load(std::memory_order_relaxed);
        while (Busy > Most &&
               !mostBusy_.compare_exchange_weak(Most, Busy, std::memory_order_relaxed))
            ;
        const bool Counted = !ownerHelps_ || Runs++ % LightRunsPerCount == 0;
        const long BlockedBefore = Counted ? Blocked() : 0;
        std::size_t Worked = 0;
        bool WasHeld = false;
        const bool Finished = WorkRun(Run, Needs, Worked, WasHeld);
        busy_.fetch_sub(1, std::memory_order_relaxed);
        if (!Finished)
            return;
        const long Waits = Counted ? Blocked() - BlockedBefore : 0;
        Lock.lock();
        if (!WasHeld && Counted)
            Adapt(Worked, static_cast<std::size_t>(std::max(Waits, 0L)));
    }
}

void TReadAhead::Adapt(std::size_t Worked, std::size_t Waits) {
    const std::size_t Working = working_.load(std::memory_order_relaxed);
    if (Waits * 4 >= Worked && Waits > 0) {
        if (Working < most_.load(std::memory_order_relaxed)) {
            working_.store(Working + 1, std::memory_order_relaxed);
            spare_.notify_all();
        }
    } else if (Waits == 0 && Working > fewest_) {
        working_.store(Working - 1, std::memory_order_relaxed);
    }
}
