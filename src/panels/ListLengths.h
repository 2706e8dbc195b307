// Fills a list's lengths: reads them on a thread of their own, a few rows at a
// time in list order, and writes each into its row as it comes back, so the
// list takes its rows as fast as without them.
#pragma once

#include "engine/LengthReader.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

class TCheckListModel;

// Lengths a TLengthReader reports on its own thread, taken in batches on the
// thread of a receiver: the first result of a batch asks that thread to take
// them, so a fast run of reads costs one queued call, not one per file.
class TLengthInbox {
public:
    using TResults = std::vector<std::pair<std::uint64_t, std::int64_t>>;

    // A Done for the reader: Take then runs on Receiver's thread. The reader
    // must end before this inbox.
    TLengthReader::TDone Filer(QObject* Receiver, std::function<void()> Take);
    TResults TakeAll();

private:
    std::mutex mutex_;
    TResults results_;
};

class TListLengths : public QObject {
    Q_OBJECT
public:
    // Follows Model's rows from now on; Model outlives this.
    explicit TListLengths(TCheckListModel& Model, QObject* Parent = nullptr);
    ~TListLengths() override;

    // Replaces how one file's length is read (tests); reads under way are dropped.
    void SetRead(TLengthReader::TRead Read);
    // Empty: the default, ReadDurationMs.
    const TLengthReader::TRead& Read() const { return read_; }
    // Lengths asked and not yet come back.
    int InFlight() const { return inFlight_; }
    // Row numbers changed (a sort, a removal, a new caption): what is asked is
    // dropped and rows are looked at again from the top.
    void Restart();
    // Asks for the lengths of rows not read yet, up to the window.
    void Fill();

signals:
    // Some rows got their lengths.
    void LengthsArrived();

private:
    void Take();

    TCheckListModel& model_;
    TLengthReader::TRead read_;
    TLengthInbox inbox_;
    std::unique_ptr<TLengthReader> reader_; // made when first needed
    std::uint32_t generation_ = 0;          // Restart's count, the high half of each key
    int cursor_ = 0;                        // rows before it were asked for or read
    int inFlight_ = 0;
};
