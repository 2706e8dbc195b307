// Counts of the window's rules while the user writes them: a thread of its own
// takes a snapshot of the checked folders (from the tag index), counts, fills
// what the index lacks (reading those files through the index) and counts
// again as it goes. The latest request wins: an edit stops a filling pass and
// is counted at once from what is known; a change of folders or of the
// options that decide the reads stops a walk and starts a new one. Results
// reach the window's thread through its event loop; the window never waits.
#pragma once

#include "engine/CompileJob.h"
#include "engine/Counts.h"

#include <QObject>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

class TTagIndex;

class TCountsController : public QObject {
public:
    // Called on the thread that made the controller.
    using TCountsSink =
        std::function<void(const TSearchCounts& Counts, std::uint64_t Generation, bool Final)>;
    using TProgressSink = std::function<void(std::size_t Done, std::size_t Wanted)>;

    TCountsController(TCountsSink Counts, TProgressSink Progress, QObject* Parent = nullptr);
    // Stops whatever runs and waits for the thread (a read in progress ends first).
    ~TCountsController() override;

    // Counts these settings next; returns the request's generation.
    std::uint64_t Request(const WizardSettings& Settings, std::shared_ptr<TTagIndex> Index);
    // Stops the pass under way and forgets the snapshot (the window closes).
    void Stop();
    // Reads the filling pass makes instead of the files' (tests slow them down).
    void SetReader(TagReadFunction Read);
    // The latest generation handed to the sink as final (its counts complete).
    std::uint64_t LastFinal() const { return lastFinal_; }

private:
    struct TRequest {
        WizardSettings Settings;
        std::shared_ptr<TTagIndex> Index;
        std::uint64_t Generation = 0;
    };
    void Loop();
    void Run(const TRequest& Request);
    // Reads the tags the request's masks ask for; false when interrupted.
    bool FillTags(const TRequest& Request, const TSnapshotKey& Key, const CompileJob& Job,
                  TTagIndex* Index);
    // Whether the pass for Key should end: closing, or a newer request (that
    // needs another walk, when SameKeyGoesOn).
    bool Interrupted(const TSnapshotKey& Key, bool SameKeyGoesOn);
    void Deliver(const TSearchCounts& Counts, std::uint64_t Generation, bool Final);

    TCountsSink countsSink_;
    TProgressSink progressSink_;
    std::uint64_t lastFinal_ = 0; // the sinks' thread's

    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<TRequest> pending_;
    std::uint64_t generation_ = 0;
    bool closing_ = false;
    bool forget_ = false;
    TagReadFunction read_;

    // The thread's own.
    std::unique_ptr<TFolderSnapshot> snapshot_;
    std::thread thread_;
};
