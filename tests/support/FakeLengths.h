// Lengths by path for the list's and the save's readers: each read may wait
// for a gate to open and notes the thread it ran on. Make it before the
// widgets that read through it, so that it outlives their reads.
#pragma once

#include "engine/LengthReader.h"

#include <QThread>

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>

class TFakeLengths {
public:
    unsigned long DelayMicroseconds = 0; // set before the reads

    explicit TFakeLengths(bool Open = true, std::map<std::string, std::int64_t> Milliseconds = {})
        : milliseconds_(std::move(Milliseconds)), open_(Open) {}
    // -1 for a path never set.
    void Set(const std::string& Path, std::int64_t Milliseconds) {
        const std::lock_guard<std::mutex> lock(mutex_);
        milliseconds_[Path] = Milliseconds;
    }
    std::int64_t Get(const std::string& Path) {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto found = milliseconds_.find(Path);
        return found == milliseconds_.end() ? -1 : found->second;
    }
    ~TFakeLengths() { Open(); }
    void Open() { open_ = true; }

    TLengthReader::TRead Read() {
        return [this](const std::string& Path) {
            while (!open_)
                QThread::msleep(1);
            QThread::usleep(DelayMicroseconds);
            const std::lock_guard<std::mutex> lock(mutex_);
            threads_.insert(QThread::currentThread());
            ++reads_;
            const auto found = milliseconds_.find(Path);
            return found == milliseconds_.end() ? std::int64_t{-1} : found->second;
        };
    }
    bool ReadOn(const QThread* Thread) {
        const std::lock_guard<std::mutex> lock(mutex_);
        return threads_.count(Thread) > 0;
    }
    int Reads() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return reads_;
    }

private:
    std::map<std::string, std::int64_t> milliseconds_;
    std::atomic<bool> open_;
    std::mutex mutex_;
    std::set<const QThread*> threads_;
    int reads_ = 0;
};
