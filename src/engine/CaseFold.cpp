// Simple case folding from the table generated out of Unicode's data (see
// CaseFold.h and scripts/gen-case-folding).
#include "engine/CaseFold.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace {

struct FoldRow {
    char32_t First;
    char32_t Last;
    std::int32_t Offset;
    std::uint8_t Stride;
};

constexpr FoldRow FoldRows[] = {
#include "engine/CaseFolding.inc"
};

} // namespace

char32_t FoldCase(char32_t C) {
    if (C < 0x80)
        return C >= 'A' && C <= 'Z' ? C + 32 : C;
    // The last row starting at or before C is the only one that can hold it.
    const FoldRow* Row =
        std::upper_bound(std::begin(FoldRows), std::end(FoldRows), C,
                         [](char32_t Value, const FoldRow& R) { return Value < R.First; });
    if (Row == std::begin(FoldRows))
        return C;
    --Row;
    if (C > Row->Last || (C - Row->First) % Row->Stride != 0)
        return C;
    return static_cast<char32_t>(static_cast<std::int64_t>(C) + Row->Offset);
}
