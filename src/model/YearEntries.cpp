// Year criteria: masks and ranges.
#include "model/YearEntries.h"

#include "model/FieldEntries.h"

namespace {

bool FourDigits(std::string_view Text, int& Year) {
    std::int64_t Value = 0;
    if (Text.size() != 4 || !DigitsValue(Text, 4, Value))
        return false;
    Year = static_cast<int>(Value);
    return true;
}

} // namespace

TYearEntry ClassifyYearEntry(std::string_view Caption) {
    TYearEntry Entry;
    const std::size_t Dots = Caption.find("..");
    if (Dots == std::string_view::npos) {
        if (Caption.size() != 4)
            return Entry;
        for (const char C : Caption)
            if (!(C >= '0' && C <= '9') && C != '?' && C != '*')
                return Entry;
        Entry.Kind = TYearEntryKind::Mask;
        return Entry;
    }
    const std::string_view First = Caption.substr(0, Dots);
    const std::string_view Last = Caption.substr(Dots + 2);
    if (First.empty() && Last.empty())
        return Entry;
    int From = 0, To = 9999;
    if (!First.empty() && !FourDigits(First, From))
        return Entry;
    if (!Last.empty() && !FourDigits(Last, To))
        return Entry;
    if (From > To)
        return Entry;
    Entry.Kind = TYearEntryKind::Range;
    Entry.From = From;
    Entry.To = To;
    return Entry;
}

bool YearInRange(std::string_view Year, const TYearEntry& Range) {
    int Value = 0;
    return Range.Kind == TYearEntryKind::Range && FourDigits(Year, Value) && Value >= Range.From &&
           Value <= Range.To;
}

std::string MalformedYearMessage(std::string_view Caption) {
    return "year criterion \"" + std::string(Caption) +
           "\" is neither a year (1999, 199?) nor a range (1990..1999); it is used as a mask as "
           "written";
}
