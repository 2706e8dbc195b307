// Stated lengths of tracks.
#pragma once

#include <cstdint>

// Milliseconds of Units at Rate units per second; -1 for a rate of 0.
std::int64_t Milliseconds(std::uint64_t Units, std::uint64_t Rate);
