// Work on a window of upcoming items, done by a few threads while one thread
// fills the window in order and takes the results back in that same order:
// the folder walk keeps deciding the order, and the slow part of each file
// (open, read, close) runs with many requests in flight.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Items live in the caller's own array of Window slots; this class hands out
// slot numbers and runs Work(slot) on a reader thread for each slot pushed
// with work. Slots go to the readers in runs of consecutive slots, so that
// the threads meet once per run rather than once per item. Push, Publish,
// Front and Pop belong to one thread, the owner.
//
// Not every reader works all the time. A warm cache makes the work pure CPU,
// and more readers than cores only add switches between them; a cold disk or
// a network share makes it mostly waiting, and then every reader is worth a
// request in flight. So the readers start as many as the cores (or as the
// owner asks, when it knows its work is light), and each run tells which case
// holds: a run where many reads had to wait wakes one more reader, a run
// where none did sends one back to rest.
class TReadAhead {
public:
    // Work must not throw. While Held() is true no reader starts work on a
    // further slot (one already begun is finished); empty Held never holds.
    // Fewest is how many readers work while no read waits; 0: one per core.
    // With OwnerHelps, an owner waiting in Front works a run that no reader
    // has taken yet (for light work: a wait for the disk there would hold
    // back the walk).
    TReadAhead(std::size_t Threads, std::size_t Window, std::function<void(std::size_t)> Work,
               std::function<bool()> Held = {}, std::size_t Fewest = 0, bool OwnerHelps = false);
    // Stops the readers after the slot each is working on and waits for
    // them; slots not yet worked on are left as they are.
    ~TReadAhead();
    TReadAhead(const TReadAhead&) = delete;
    TReadAhead& operator=(const TReadAhead&) = delete;

    std::size_t Window() const { return window_; }
    bool Empty() const { return count_ == 0; }
    bool Full() const { return count_ == window_; }

    // The slot the next Push fills; not Full().
    std::size_t Back() const { return (head_ + count_) % window_; }
    // Adds Back() to the window; with NeedsWork a reader runs Work on it once
    // its run is published (when it is long enough, or by Publish or Front).
    void Push(bool NeedsWork);
    // Hands the slots pushed since the last run to the readers now.
    void Publish();
    // Whether some reader waits for work (a hint, for publishing short runs).
    bool ReadersIdle() const { return idleHint_.load(std::memory_order_relaxed) > 0; }
    // Readers started, and the most of them that have worked at one time.
    std::size_t Readers() const { return most_.load(std::memory_order_relaxed); }
    std::size_t MostBusy() const { return mostBusy_.load(std::memory_order_relaxed); }
    // The oldest slot, once its work is done; not Empty().
    std::size_t Front();
    // Gives the oldest slot back for reuse.
    void Pop();

private:
    struct TRun {
        std::size_t First;
        std::size_t Length; // slots, some of which may need no work
    };

    void Read(std::size_t Index);
    // Works the slots of Run that need work, then tells the owner; false
    // when the readers are closing (what is left is not worked).
    bool WorkRun(const TRun& Run, std::vector<char>& Needs, std::size_t& Worked, bool& WasHeld);
    // The oldest run no reader has taken, for the owner to work; false for none.
    bool TakeRun(TRun& Run);
    bool HeldNow() const { return held_ && held_(); }
    // After a run of Worked items that slept Waits times: more readers when
    // many of its reads waited, fewer when none did.
    void Adapt(std::size_t Worked, std::size_t Waits);

    const std::size_t window_;
    std::function<void(std::size_t)> work_;
    std::function<bool()> held_;
    std::unique_ptr<std::atomic<bool>[]> done_;  // per slot: its work is finished
    std::unique_ptr<bool[]> needsWork_;          // per slot; written before its run is published
    std::atomic<std::uint32_t> finishedRuns_{0}; // what the owner waits on
    std::atomic<std::size_t> started_{0};        // readers running; fewer than asked if refused
    std::atomic<std::size_t> idleHint_{0};
    std::size_t fewest_ = 1; // readers that always work (the cores)
    const bool ownerHelps_;
    std::vector<char> ownerNeeds_;        // the owner's, for the runs it works
    std::atomic<std::size_t> most_{0};    // readers started
    std::atomic<std::size_t> working_{1}; // readers 0 .. working_-1 take runs
    std::atomic<std::size_t> busy_{0};    // readers inside a run now
    std::atomic<std::size_t> mostBusy_{0};

    // Owner thread only.
    std::size_t head_ = 0;
    std::size_t count_ = 0;
    std::size_t runFirst_ = 0;  // the run being gathered: its first slot,
    std::size_t runLength_ = 0; // its slots (from the first to the last needing work),
    std::size_t runWork_ = 0;   // and how many of them need work

    std::mutex mutex_;              // guards what follows
    std::condition_variable wake_;  // readers that may work, waiting for a run
    std::condition_variable spare_; // readers beyond working_
    std::vector<TRun> queue_;       // runs waiting for a reader, a ring of Window
    std::size_t queueHead_ = 0;
    std::size_t queued_ = 0;
    std::size_t idle_ = 0; // readers waiting for work
    std::atomic<bool> closing_{false};

    std::vector<std::thread> readers_;
};
