// libFuzzer target: arbitrary bytes split into a mask and a text. A malformed
// mask must be refused with a position inside the mask (or just past it), and
// a well-formed one must match without crashing and agree with itself.
#include "engine/Masks.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const std::string input(reinterpret_cast<const char*>(Data), Size);
    // The first NUL separates the mask from the text; without one both are the input.
    const std::size_t split = input.find('\0');
    const std::string mask = split == std::string::npos ? input : input.substr(0, split);
    const std::string text = split == std::string::npos ? input : input.substr(split + 1);
    try {
        const TMask compiled(mask);
        const bool matches = compiled.Matches(text);
        if (matches != MatchWildcard(text, mask))
            std::abort();
        // A mask always matches itself when it holds no wildcard or set.
        if (mask.find_first_of("*?[") == std::string::npos && !compiled.Matches(mask))
            std::abort();
    } catch (const EMaskException& error) {
        if (error.Position() < 1 || error.Position() > static_cast<int>(mask.size()) + 1)
            std::abort();
    }
    return 0;
}
