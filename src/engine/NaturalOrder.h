// The order in which a file manager lists a folder's names: letters without
// regard to case, runs of digits by their value ("Track 2" before "Track 10"),
// ties broken by the bytes, so that no two different names compare equal.
#pragma once

#include <string_view>

// Negative, zero or positive as A sorts before, with or after B. Names are
// read as UTF-8; a byte that is not UTF-8 counts as the character of its value.
int CompareNatural(std::string_view A, std::string_view B);

inline bool NaturalLess(std::string_view A, std::string_view B) {
    return CompareNatural(A, B) < 0;
}
