// The forms of the criteria that are not masks: lengths ("2:30..4:00",
// "..2:30", "10:00..") and modification times ("30 days",
// "2024-01-01..2024-06-30", open at either end), each a range of values.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

struct TValueRange {
    bool Valid = false;
    std::int64_t From = std::numeric_limits<std::int64_t>::min();
    std::int64_t To = std::numeric_limits<std::int64_t>::max();

    bool Holds(std::int64_t Value) const { return Valid && Value >= From && Value <= To; }
};

// Value of Text when it is decimal digits only, at most Most of them.
bool DigitsValue(std::string_view Text, std::size_t Most, std::int64_t& Value);

// A length as the list shows it: whole seconds, rounded to the nearest.
std::int64_t LengthSeconds(std::int64_t Milliseconds);

// Lengths of M:SS or H:MM:SS around "..", either end left out but not both,
// the first not after the second; the range is in seconds, both ends in it.
TValueRange ClassifyLengthEntry(std::string_view Caption);

// "N days" ("1 day"): modified within the N days before NowNs; or dates
// YYYY-MM-DD around "..", either end left out but not both: from the first
// day's start to the last day's end in the local time zone. The range is in
// nanoseconds since 1970.
TValueRange ClassifyModifiedEntry(std::string_view Caption, std::int64_t NowNs);

// The line that reports an entry of a length or modified criterion that is
// none of its forms.
std::string MalformedLengthMessage(std::string_view Caption);
std::string MalformedModifiedMessage(std::string_view Caption);

// Whether Caption is of a form the criterion field Field (CriterionField)
// takes: a year mask or range, a length range, days or dates; any text for
// the fields of masks.
bool EntryFormKnown(int Field, std::string_view Caption);
// The line that reports an entry of Field of no known form.
std::string MalformedEntryMessage(int Field, std::string_view Caption);
// What the list shows after such an entry.
inline constexpr const char* NotALengthMark = "(not a length range)";
inline constexpr const char* NotAModifiedMark = "(not days or dates)";
