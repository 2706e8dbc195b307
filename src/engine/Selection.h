// The selection of a search: from the files its criteria took, in the walk's
// order, the playlist's files in the playlist's order, and for every file left
// out the reason. Plain C++; the lengths and file times it needs are asked for
// only where they decide something.
#pragma once

#include "engine/CompileJob.h"
#include "model/Selection.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What the selection may need to know of a file beyond its tags.
struct TSelectionFacts {
    // The length in milliseconds, -1 when not known. Empty: ReadDurationMs.
    std::function<std::int64_t(const std::string& Path)> DurationMs;
    // The modification time (nanoseconds since 1970) and the size in bytes;
    // false when the file cannot be looked at. Empty: stat().
    std::function<bool(const std::string& Path, std::int64_t& ModifiedNs, std::int64_t& Size)>
        Status;
    // The locale of the texts' order (an ICU name; empty: the root collation).
    std::string CollationLocale;
};

struct TSelectionLeftOut {
    std::size_t Index = 0; // into the files given
    TReasonKind Kind = TReasonKind::OverLimit;
    std::uint32_t Ordinal = 0; // the file's place among those of its artist or album
};

struct TSelectionOutcome {
    std::vector<std::size_t> Kept;          // indices into the files, in the playlist's order
    std::vector<TSelectionLeftOut> LeftOut; // in the order of the files given
};

// The caps go first, in the order Pick gives; the limit then takes files in
// that order until the next one would pass it (a file whose length is not
// known cannot fill a limit in minutes and is left out); the files kept are
// put in the playlist's order. Artist and album are compared without regard
// to case; a file without one is not capped by it.
TSelectionOutcome SelectFiles(const TSelection& Selection, const std::vector<TFileInfo>& Files,
                              const TSelectionFacts& Facts = {});

// The same order over indices 0..Count-1 that a seed gives every time.
std::vector<std::size_t> SeededShuffle(std::size_t Count, std::uint64_t Seed);
