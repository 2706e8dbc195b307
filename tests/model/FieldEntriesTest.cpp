// The forms of length and modified criteria: ranges open at either end, equal
// ends, malformed entries; the day bounds in the local time zone.
#include "model/FieldEntries.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <limits>

namespace {

constexpr std::int64_t Lowest = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t Highest = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t Second = 1'000'000'000;
constexpr std::int64_t Day = 86'400 * Second;

// Sets the local time zone for the test's life.
class TZone {
public:
    explicit TZone(const char* Zone) {
        if (const char* Was = std::getenv("TZ"))
            was_ = Was;
        setenv("TZ", Zone, 1);
        tzset();
    }
    ~TZone() {
        if (was_.empty())
            unsetenv("TZ");
        else
            setenv("TZ", was_.c_str(), 1);
        tzset();
    }

private:
    std::string was_;
};

} // namespace

TEST(FieldEntries, LengthRangesTheirOpenEndsAndWhatIsNoRange) {
    const struct {
        const char* Text;
        bool Valid;
        std::int64_t From, To; // seconds
    } rows[] = {
        {"2:30..4:00", true, 150, 240},
        {"..2:30", true, Lowest, 150},
        {"10:00..", true, 600, Highest},
        {"3:00..3:00", true, 180, 180},
        {"0:00..0:59", true, 0, 59},
        {"1:02:03..", true, 3723, Highest},
        {"75:00..", true, 4500, Highest},
        {"4:00..2:30", false, 0, 0},
        {"..", false, 0, 0},
        {"2:30", false, 0, 0},
        {"2:60..", false, 0, 0},
        {"2:5..", false, 0, 0},
        {"1:2:03..", false, 0, 0},
        {" 2:30..", false, 0, 0},
        {"2:30..x", false, 0, 0},
        {"-1:00..", false, 0, 0},
        {"", false, 0, 0},
    };
    for (const auto& row : rows) {
        const TValueRange range = ClassifyLengthEntry(row.Text);
        EXPECT_EQ(range.Valid, row.Valid) << row.Text;
        if (!row.Valid) {
            EXPECT_FALSE(range.Holds(0)) << row.Text;
            continue;
        }
        EXPECT_EQ(range.From, row.From) << row.Text;
        EXPECT_EQ(range.To, row.To) << row.Text;
    }
}

TEST(FieldEntries, ModifiedDaysAndDateRanges) {
    const TZone utc("UTC");
    const std::int64_t now = 1'700'000'000 * Second;  // 2023-11-14 22:13:20 UTC
    const std::int64_t jan1 = 1'704'067'200 * Second; // 2024-01-01 00:00 UTC
    const struct {
        const char* Text;
        bool Valid;
        std::int64_t From, To;
    } rows[] = {
        {"30 days", true, now - 30 * Day, Highest},
        {"1 day", true, now - Day, Highest},
        {"0 days", true, now, Highest},
        {"2024-01-01..2024-01-01", true, jan1, jan1 + Day - 1},
        {"2024-01-01..2024-01-31", true, jan1, jan1 + 31 * Day - 1},
        {"..2023-12-31", true, Lowest, jan1 - 1},
        {"2024-01-01..", true, jan1, Highest},
        {"2024-02-29..", true, jan1 + 59 * Day, Highest},
        // Beyond what nanoseconds since 1970 can count: "ever", not a wrapped value.
        {"999999 days", true, Lowest, Highest},
        {"106751 days", true, now - 106'751 * Day, Highest},
        {"0001-01-01..9999-12-31", true, Lowest, Highest},
        {"..9999-12-31", true, Lowest, Highest},
        {"1600-01-01..2024-01-01", true, Lowest, jan1 + Day - 1},
        {"2 day", false, 0, 0},
        {"days", false, 0, 0},
        {"-1 days", false, 0, 0},
        {"30  days", false, 0, 0},
        {"30 weeks", false, 0, 0},
        {"2023-02-29..", false, 0, 0},
        {"2024-13-01..", false, 0, 0},
        {"2024-1-01..", false, 0, 0},
        {"24-01-01..", false, 0, 0},
        {"2024-01-31..2024-01-01", false, 0, 0},
        {"2024-01-01", false, 0, 0},
        {"..", false, 0, 0},
    };
    for (const auto& row : rows) {
        const TValueRange range = ClassifyModifiedEntry(row.Text, now);
        EXPECT_EQ(range.Valid, row.Valid) << row.Text;
        if (!row.Valid)
            continue;
        EXPECT_EQ(range.From, row.From) << row.Text;
        EXPECT_EQ(range.To, row.To) << row.Text;
    }
}

// A day is the local one: it starts at local midnight, and the day the
// clocks go forward is 23 hours long.
TEST(FieldEntries, DaysFollowTheLocalTimeZoneAndItsClockChanges) {
    if (!std::filesystem::exists("/usr/share/zoneinfo/America/New_York"))
        GTEST_SKIP() << "no time zone data on this machine (/usr/share/zoneinfo)";
    const TZone newYork("America/New_York");
    const TValueRange march10 = ClassifyModifiedEntry("2024-03-10..2024-03-10", 0);
    ASSERT_TRUE(march10.Valid);
    EXPECT_EQ(march10.From, 1'710'046'800 * Second); // 05:00 UTC
    EXPECT_EQ(march10.To - march10.From + 1, 23 * 3600 * Second);
    const TValueRange nov3 = ClassifyModifiedEntry("2024-11-03..2024-11-03", 0);
    EXPECT_EQ(nov3.To - nov3.From + 1, 25 * 3600 * Second);
}
