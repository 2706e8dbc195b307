// Stated lengths of tracks (see Duration.h).
#include "media/toolkit/Duration.h"

std::int64_t Milliseconds(std::uint64_t Units, std::uint64_t Rate) {
    if (Rate == 0)
        return -1;
    // Split so that no product overflows; a hostile length is capped.
    const std::uint64_t seconds = Units / Rate;
    constexpr std::uint64_t cap = std::uint64_t{1} << 52;
    if (seconds >= cap)
        return static_cast<std::int64_t>(cap * 1000);
    return static_cast<std::int64_t>(seconds * 1000 + (Units % Rate) * 1000 / Rate);
}
