// Length and modification-time criteria.
#include "model/FieldEntries.h"

#include "model/WizardSettings.h"
#include "model/YearEntries.h"

#include <ctime>
#include <limits>

namespace {

constexpr std::int64_t NsPerSecond = 1'000'000'000;
constexpr std::int64_t SecondsPerDay = 86'400;

// "4:05", "65:00", "1:02:03".
bool Length(std::string_view Text, std::int64_t& Seconds) {
    const std::size_t Last = Text.rfind(':');
    if (Last == std::string_view::npos)
        return false;
    std::int64_t Rest = 0;
    if (Text.size() - Last - 1 != 2 || !DigitsValue(Text.substr(Last + 1), 2, Rest) || Rest > 59)
        return false;
    Text = Text.substr(0, Last);
    std::int64_t Hours = 0, Minutes = 0;
    const std::size_t First = Text.rfind(':');
    if (First != std::string_view::npos) {
        if (Text.size() - First - 1 != 2 || !DigitsValue(Text.substr(First + 1), 2, Minutes) ||
            Minutes > 59 || !DigitsValue(Text.substr(0, First), 4, Hours))
            return false;
    } else if (!DigitsValue(Text, 6, Minutes)) {
        return false;
    }
    Seconds = (Hours * 60 + Minutes) * 60 + Rest;
    return true;
}

// The local midnight that starts YYYY-MM-DD (or, After, the day after it), in
// seconds since 1970; false for a text of another form or a day the calendar
// does not have.
bool DayStart(std::string_view Text, bool After, std::int64_t& Seconds) {
    std::int64_t Year = 0, Month = 0, Day = 0;
    if (Text.size() != 10 || Text[4] != '-' || Text[7] != '-' ||
        !DigitsValue(Text.substr(0, 4), 4, Year) || !DigitsValue(Text.substr(5, 2), 2, Month) ||
        !DigitsValue(Text.substr(8, 2), 2, Day))
        return false;
    std::tm Local{};
    Local.tm_year = static_cast<int>(Year - 1900);
    Local.tm_mon = static_cast<int>(Month - 1);
    Local.tm_mday = static_cast<int>(Day);
    Local.tm_isdst = -1;
    const std::time_t Start = std::mktime(&Local);
    // mktime moves 2023-02-30 to March: such a day is not one.
    if (Start == static_cast<std::time_t>(-1) || Local.tm_year != Year - 1900 ||
        Local.tm_mon != Month - 1 || Local.tm_mday != Day)
        return false;
    Seconds = Start;
    if (After) {
        // The next day's midnight: a day of a clock change is not 24 hours.
        ++Local.tm_mday;
        Local.tm_hour = Local.tm_min = Local.tm_sec = 0;
        Local.tm_isdst = -1;
        const std::time_t Next = std::mktime(&Local);
        if (Next == static_cast<std::time_t>(-1))
            return false;
        Seconds = Next;
    }
    return true;
}

// Seconds since 1970 in nanoseconds, held at the ends of what a 64-bit count
// can hold (about the years 1677 to 2262): a date beyond them stands for
// "ever" at that end.
std::int64_t NsOfSeconds(std::int64_t Seconds) {
    std::int64_t Ns = 0;
    if (__builtin_mul_overflow(Seconds, NsPerSecond, &Ns))
        return Seconds < 0 ? std::numeric_limits<std::int64_t>::min()
                           : std::numeric_limits<std::int64_t>::max();
    return Ns;
}

// A ".." range whose ends Read turns into values; either end may be left out.
template <class ReadEnd> TValueRange RangeOf(std::string_view Caption, ReadEnd&& Read) {
    TValueRange Range;
    const std::size_t Dots = Caption.find("..");
    if (Dots == std::string_view::npos)
        return Range;
    const std::string_view First = Caption.substr(0, Dots);
    const std::string_view Last = Caption.substr(Dots + 2);
    if (First.empty() && Last.empty())
        return Range;
    if (!First.empty() && !Read(First, true, Range.From))
        return Range;
    if (!Last.empty() && !Read(Last, false, Range.To))
        return Range;
    Range.Valid = Range.From <= Range.To;
    return Range;
}

} // namespace

bool DigitsValue(std::string_view Text, std::size_t Most, std::int64_t& Value) {
    if (Text.empty() || Text.size() > Most)
        return false;
    Value = 0;
    for (const char C : Text) {
        if (C < '0' || C > '9')
            return false;
        Value = Value * 10 + (C - '0');
    }
    return true;
}

std::int64_t LengthSeconds(std::int64_t Milliseconds) {
    return (Milliseconds + 500) / 1000;
}

TValueRange ClassifyLengthEntry(std::string_view Caption) {
    return RangeOf(Caption, [](std::string_view End, bool, std::int64_t& Seconds) {
        return Length(End, Seconds);
    });
}

TValueRange ClassifyModifiedEntry(std::string_view Caption, std::int64_t NowNs) {
    const std::size_t Blank = Caption.find(' ');
    if (Blank != std::string_view::npos) {
        TValueRange Range;
        std::int64_t Days = 0;
        const std::string_view Unit = Caption.substr(Blank + 1);
        if (!DigitsValue(Caption.substr(0, Blank), 6, Days) ||
            !(Unit == "days" || (Unit == "day" && Days == 1)))
            return Range;
        std::int64_t Back = 0;
        if (__builtin_mul_overflow(Days, SecondsPerDay * NsPerSecond, &Back) ||
            __builtin_sub_overflow(NowNs, Back, &Range.From))
            Range.From = std::numeric_limits<std::int64_t>::min();
        Range.Valid = true;
        return Range;
    }
    return RangeOf(Caption, [](std::string_view End, bool First, std::int64_t& Ns) {
        // The last day counts whole: up to the start of the next one.
        std::int64_t Seconds = 0;
        if (!DayStart(End, !First, Seconds))
            return false;
        Ns = NsOfSeconds(Seconds);
        if (!First && Ns != std::numeric_limits<std::int64_t>::max())
            --Ns;
        return true;
    });
}

std::string MalformedLengthMessage(std::string_view Caption) {
    return "length criterion \"" + std::string(Caption) +
           "\" is not a range of lengths (2:30..4:00, ..2:30, 10:00..); it matches no file";
}

std::string MalformedModifiedMessage(std::string_view Caption) {
    return "modified criterion \"" + std::string(Caption) +
           "\" is neither a number of days (30 days) nor a range of dates "
           "(2024-01-01..2024-06-30); it matches no file";
}

bool EntryFormKnown(int Field, std::string_view Caption) {
    switch (Field) {
    case FieldYear:
        return ClassifyYearEntry(Caption).Kind != TYearEntryKind::Malformed;
    case FieldLength:
        return ClassifyLengthEntry(Caption).Valid;
    case FieldModified:
        return ClassifyModifiedEntry(Caption, 0).Valid;
    default:
        return true;
    }
}

std::string MalformedEntryMessage(int Field, std::string_view Caption) {
    switch (Field) {
    case FieldYear:
        return MalformedYearMessage(Caption);
    case FieldLength:
        return MalformedLengthMessage(Caption);
    default:
        return MalformedModifiedMessage(Caption);
    }
}
