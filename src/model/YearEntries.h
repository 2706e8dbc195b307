// The forms a year criterion takes: a four-character mask ("1999", "199?") or
// a range of years ("1990..1999", open at either end: "..1979", "2000..").
#pragma once

#include <string>
#include <string_view>

enum class TYearEntryKind { Mask, Range, Malformed };

struct TYearEntry {
    TYearEntryKind Kind = TYearEntryKind::Malformed;
    int From = 0;  // a range's first year; 0 when open
    int To = 9999; // its last year; 9999 when open
};

// A mask is four characters, each a digit, "?" or "*". A range is two years
// of four digits around "..", either one left out but not both, the first
// not after the second.
TYearEntry ClassifyYearEntry(std::string_view Caption);

// Whether a year text (exactly four digits) lies in the range.
bool YearInRange(std::string_view Year, const TYearEntry& Range);

// The line that reports a year entry of no known form.
std::string MalformedYearMessage(std::string_view Caption);
