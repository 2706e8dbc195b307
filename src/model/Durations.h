// The lengths of media files as the program believes them.
#pragma once

#include <cstdint>

// No recording runs for 100 hours: a longer length comes from a damaged or
// hostile header.
inline constexpr std::int64_t LongestDurationMs = 100LL * 3600 * 1000;

// Milliseconds when they are a length a file can have, else -1 (unknown).
constexpr std::int64_t PlausibleDurationMs(std::int64_t Milliseconds) {
    return Milliseconds >= 0 && Milliseconds <= LongestDurationMs ? Milliseconds : -1;
}
