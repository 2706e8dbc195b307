#include "app/CountsController.h"

#include "index/TagIndex.h"

#include <QMetaObject>

#include <chrono>

namespace {

// While the filling pass reads, the counts are taken again at most this often
// (the progress more often), so a long pass shows its figures growing.
constexpr auto RecountEvery = std::chrono::milliseconds(500);
constexpr auto ProgressEvery = std::chrono::milliseconds(100);

} // namespace

TCountsController::TCountsController(TCountsSink Counts, TProgressSink Progress, QObject* Parent)
    : QObject(Parent), countsSink_(std::move(Counts)), progressSink_(std::move(Progress)) {
    thread_ = std::thread([this] { Loop(); });
}

TCountsController::~TCountsController() {
    {
        std::lock_guard Lock(mutex_);
        closing_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

std::uint64_t TCountsController::Request(const WizardSettings& Settings,
                                         std::shared_ptr<TTagIndex> Index) {
    std::uint64_t Generation;
    {
        std::lock_guard Lock(mutex_);
        Generation = ++generation_;
        pending_ = TRequest{Settings, std::move(Index), Generation};
    }
    wake_.notify_all();
    return Generation;
}

void TCountsController::Stop() {
    {
        std::lock_guard Lock(mutex_);
        pending_.reset();
        forget_ = true;
        ++generation_;
    }
    wake_.notify_all();
}

void TCountsController::SetReader(TagReadFunction Read) {
    std::lock_guard Lock(mutex_);
    read_ = std::move(Read);
}

bool TCountsController::Interrupted(const TSnapshotKey& Key, bool SameKeyGoesOn) {
    std::lock_guard Lock(mutex_);
    if (closing_ || forget_)
        return true;
    if (!pending_)
        return false;
    return !SameKeyGoesOn || SnapshotKeyOf(pending_->Settings) != Key;
}

void TCountsController::Deliver(const TSearchCounts& Counts, std::uint64_t Generation, bool Final) {
    QMetaObject::invokeMethod(
        this,
        [this, Counts, Generation, Final] {
            if (Final)
                lastFinal_ = Generation;
            if (countsSink_)
                countsSink_(Counts, Generation, Final);
        },
        Qt::QueuedConnection);
}

void TCountsController::Loop() {
    for (;;) {
        TRequest Next;
        {
            std::unique_lock Lock(mutex_);
            wake_.wait(Lock, [this] { return closing_ || forget_ || pending_; });
            if (closing_)
                return;
            if (forget_) {
                forget_ = false;
                snapshot_.reset();
                continue;
            }
            Next = std::move(*pending_);
            pending_.reset();
        }
        Run(Next);
    }
}

void TCountsController::Run(const TRequest& Request) {
    const TSnapshotKey Key = SnapshotKeyOf(Request.Settings);
    TTagIndex* Index = Request.Index && Request.Index->Usable() ? Request.Index.get() : nullptr;
    if (!snapshot_ || snapshot_->Key() != Key || !snapshot_->Complete()) {
        // A walk is stopped only by a request that needs another one.
        auto Taken = std::make_unique<TFolderSnapshot>(
            TFolderSnapshot::Take(Key, Index, [&] { return Interrupted(Key, true); }));
        if (!Taken->Complete()) {
            snapshot_.reset();
            return;
        }
        snapshot_ = std::move(Taken);
    }
    TSearchCounts Counts = CountSearch(*snapshot_, Request.Settings);
    Deliver(Counts, Request.Generation, Counts.Complete());
    const CompileJob Job = MakeCompileJob(Request.Settings);
    if (!Counts.Complete() && !FillTags(Request, Key, Job, Index))
        return;
    // Then the lengths of the files found, for the total length.
    if (snapshot_->FillLengths(Job, Index, [&] { return Interrupted(Key, false); })) {
        const TSearchCounts WithLengths = CountSearch(*snapshot_, Request.Settings);
        if (WithLengths.Lengths != Counts.Lengths || !Counts.Complete())
            Deliver(WithLengths, Request.Generation, true);
    }
}

bool TCountsController::FillTags(const TRequest& Request, const TSnapshotKey& Key,
                                 const CompileJob& Job, TTagIndex* Index) {
    // The filling pass: any newer request stops it (it is counted at once
    // from what is known, and fills on from there).
    TagReadFunction Read;
    {
        std::lock_guard Lock(mutex_);
        Read = read_;
    }
    using TClock = std::chrono::steady_clock;
    TClock::time_point LastCount = TClock::now(), LastProgress = LastCount;
    const bool Filled = snapshot_->FillTags(
        Job, Index, [&] { return Interrupted(Key, false); },
        [&](std::size_t Done, std::size_t Wanted) {
            const TClock::time_point Now = TClock::now();
            if (Now - LastProgress >= ProgressEvery || Done == Wanted) {
                LastProgress = Now;
                QMetaObject::invokeMethod(
                    this,
                    [this, Done, Wanted] {
                        if (progressSink_)
                            progressSink_(Done, Wanted);
                    },
                    Qt::QueuedConnection);
            }
            if (Now - LastCount >= RecountEvery) {
                LastCount = Now;
                Deliver(CountSearch(*snapshot_, Request.Settings), Request.Generation, false);
            }
        },
        Read);
    if (Filled) {
        // With length entries the counts wait for the lengths as well.
        const TSearchCounts Counted = CountSearch(*snapshot_, Request.Settings);
        Deliver(Counted, Request.Generation, Counted.Complete());
    }
    return Filled;
}
