// Lengths read off the thread that shows them.
#include "engine/LengthReader.h"

#include "media/AudioTags.h"
#include "model/Durations.h"

#include <algorithm>

std::string FormatLength(std::int64_t Milliseconds) {
    if (Milliseconds < 0)
        return {};
    const std::int64_t Seconds = (Milliseconds + 500) / 1000;
    const std::int64_t Rest = Seconds % 60;
    return std::to_string(Seconds / 60) + (Rest < 10 ? ":0" : ":") + std::to_string(Rest);
}

std::string FormatTotalLength(std::int64_t Milliseconds) {
    const std::int64_t Minutes = std::max<std::int64_t>(Milliseconds, 0) / 60000;
    // Short files: "— 0 min" would say there is nothing to hear.
    if (Minutes == 0)
        return std::to_string(std::max<std::int64_t>(Milliseconds, 0) / 1000) + " s";
    if (Minutes < 60)
        return std::to_string(Minutes) + " min";
    return std::to_string(Minutes / 60) + " h " + std::to_string(Minutes % 60) + " min";
}

TLengthReader::TLengthReader(TDone Done, TRead Read)
    : done_(std::move(Done)), read_(Read ? std::move(Read) : TRead(ReadDurationMs)),
      thread_([this] { Run(); }) {}

TLengthReader::~TLengthReader() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        queue_.clear();
        ++generation_;
    }
    wake_.notify_one();
    thread_.join();
}

void TLengthReader::Request(std::uint64_t Key, std::string Path) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        queue_.emplace_back(Key, std::move(Path));
    }
    wake_.notify_one();
}

void TLengthReader::Cancel() {
    const std::lock_guard<std::mutex> lock(mutex_);
    queue_.clear();
    ++generation_;
}

std::size_t TLengthReader::Pending() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return queue_.size() + reading_;
}

void TLengthReader::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (stop_)
            return;
        auto [key, path] = std::move(queue_.front());
        queue_.pop_front();
        const std::uint64_t generation = generation_;
        reading_ = 1;
        lock.unlock();
        // Never throws: the readers answer bad files with -1.
        const std::int64_t length = PlausibleDurationMs(read_(path));
        lock.lock();
        if (generation == generation_ && !stop_) {
            // Reported without the lock, so Done may ask for more.
            lock.unlock();
            done_(key, length);
            lock.lock();
        }
        reading_ = 0;
    }
}
