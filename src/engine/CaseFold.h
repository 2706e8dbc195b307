// Unicode simple case folding: one code point to one, the same in every
// locale, so that masks and folder order ignore case in every script.
#pragma once

// The folded form of C (lower case for the letters of cased scripts); C
// itself when it has none.
char32_t FoldCase(char32_t C);
