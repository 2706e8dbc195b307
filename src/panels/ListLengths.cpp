// The Length column's reads, off the thread that draws the list.
#include "panels/ListLengths.h"
#include "panels/CheckListModel.h"

#include <algorithm>
#include <limits>

namespace {
// Enough asked ahead to keep the reader busy between two turns of the event
// loop; few enough that dropping them on a sort costs nothing, and the paths
// waiting are never a copy of a long list.
constexpr int Window = 64;

std::uint64_t KeyOf(std::uint32_t Generation, int Row) {
    return std::uint64_t{Generation} << 32 | static_cast<std::uint32_t>(Row);
}

std::int32_t SecondsOf(std::int64_t Milliseconds) {
    if (Milliseconds < 0)
        return LengthUnknown;
    return static_cast<std::int32_t>(std::min<std::int64_t>(
        (Milliseconds + 500) / 1000, std::numeric_limits<std::int32_t>::max()));
}
} // namespace

TLengthReader::TDone TLengthInbox::Filer(QObject* Receiver, std::function<void()> Take) {
    return [this, Receiver, Take = std::move(Take)](std::uint64_t Key, std::int64_t Milliseconds) {
        bool first;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            first = results_.empty();
            results_.emplace_back(Key, Milliseconds);
        }
        if (first)
            QMetaObject::invokeMethod(Receiver, Take, Qt::QueuedConnection);
    };
}

TLengthInbox::TResults TLengthInbox::TakeAll() {
    TResults results;
    const std::lock_guard<std::mutex> lock(mutex_);
    results.swap(results_);
    return results;
}

TListLengths::TListLengths(TCheckListModel& Model, QObject* Parent)
    : QObject(Parent), model_(Model) {
    // Rows only ever arrive at the end; anything else renumbers them.
    connect(&model_, &QAbstractItemModel::rowsInserted, this, &TListLengths::Fill);
    connect(&model_, &QAbstractItemModel::rowsRemoved, this, &TListLengths::Restart);
    connect(&model_, &QAbstractItemModel::rowsMoved, this, &TListLengths::Restart);
    connect(&model_, &QAbstractItemModel::layoutChanged, this, &TListLengths::Restart);
    connect(&model_, &QAbstractItemModel::modelReset, this, &TListLengths::Restart);
}

// The reader goes first: its thread may still hand in a result meanwhile.
TListLengths::~TListLengths() {
    reader_.reset();
}

void TListLengths::SetRead(TLengthReader::TRead Read) {
    reader_.reset();
    read_ = std::move(Read);
    Restart();
}

void TListLengths::Restart() {
    ++generation_;
    if (reader_)
        reader_->Cancel();
    cursor_ = 0;
    inFlight_ = 0;
    Fill();
}

void TListLengths::Fill() {
    const int count = model_.Count();
    while (inFlight_ < Window && cursor_ < count) {
        const int row = cursor_++;
        if (model_.Length(row) != LengthNotRead)
            continue;
        if (!reader_) {
            // Done runs on the reading thread: it only files the result and,
            // for the first of a batch, asks this thread to take them.
            reader_ =
                std::make_unique<TLengthReader>(inbox_.Filer(this, [this] { Take(); }), read_);
        }
        reader_->Request(KeyOf(generation_, row), model_.Caption(row));
        ++inFlight_;
    }
}

void TListLengths::Take() {
    bool any = false;
    for (const auto& [key, milliseconds] : inbox_.TakeAll()) {
        if (key >> 32 != generation_)
            continue; // asked before the rows were renumbered
        --inFlight_;
        const int row = static_cast<int>(key & 0xFFFFFFFF);
        if (row < model_.Count() && model_.Length(row) == LengthNotRead) {
            model_.SetLength(row, SecondsOf(milliseconds));
            any = true;
        }
    }
    Fill();
    if (any)
        emit LengthsArrived();
}
