// The lengths of listed files, read on a thread of their own so that a list
// fills as fast without them, and the texts the list shows for them.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

// "m:ss" (minutes are not wrapped into hours: "75:03"); empty when unknown (< 0).
std::string FormatLength(std::int64_t Milliseconds);
// A total for the counts line: "3 h 12 min", "12 min", "0 min".
std::string FormatTotalLength(std::int64_t Milliseconds);

// Reads lengths in the order asked, one file at a time, and hands each to
// Done on its own thread; the owner moves it to the thread it needs.
class TLengthReader {
public:
    using TRead = std::function<std::int64_t(const std::string& Path)>;
    using TDone = std::function<void(std::uint64_t Key, std::int64_t Milliseconds)>;

    // Read defaults to ReadDurationMs.
    explicit TLengthReader(TDone Done, TRead Read = {});
    // Drops what is still asked and waits for a read under way.
    ~TLengthReader();
    TLengthReader(const TLengthReader&) = delete;
    TLengthReader& operator=(const TLengthReader&) = delete;

    void Request(std::uint64_t Key, std::string Path);
    // Drops every request not yet read; a read under way is not reported.
    void Cancel();
    // Requests not yet reported (for tests and the counts line's "reading").
    std::size_t Pending() const;

private:
    void Run();

    TDone done_;
    TRead read_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::pair<std::uint64_t, std::string>> queue_;
    std::uint64_t generation_ = 0; // Cancel's count: a read of an older one is not reported
    std::size_t reading_ = 0;      // 1 while a read is under way
    bool stop_ = false;
    std::thread thread_; // last: started once the rest is ready
};
