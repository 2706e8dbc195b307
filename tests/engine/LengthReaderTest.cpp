// Lengths read on their own thread: every request answered once with its key,
// none after Cancel or destruction; and the texts the list shows.
#include "engine/LengthReader.h"

#include "support/AudioBytes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

namespace {

bool WaitUntil(const std::function<bool()>& Done) {
    for (int I = 0; I < 2000 && !Done(); ++I)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return Done();
}

} // namespace

TEST(LengthReader, LengthTexts) {
    const std::pair<std::int64_t, const char*> Lengths[] = {
        {-1, ""},        {0, "0:00"},     {499, "0:00"},    {500, "0:01"},
        {59499, "0:59"}, {61000, "1:01"}, {215400, "3:35"}, {4503000, "75:03"},
    };
    for (const auto& [Ms, Text] : Lengths)
        EXPECT_EQ(FormatLength(Ms), Text) << Ms;
    const std::pair<std::int64_t, const char*> Totals[] = {
        {-5, "0 s"},
        {999, "0 s"},
        {1000, "1 s"},
        {59999, "59 s"},
        {60000, "1 min"},
        {3599999, "59 min"},
        {3600000, "1 h 0 min"},
        {11520000, "3 h 12 min"},
        {90061000, "25 h 1 min"},
    };
    for (const auto& [Ms, Text] : Totals)
        EXPECT_EQ(FormatTotalLength(Ms), Text) << Ms;
}

TEST(LengthReader, AnswersEveryRequestOnceAndNothingAfterCancel) {
    std::mutex Lock;
    std::map<std::uint64_t, std::int64_t> Got;
    std::atomic<int> Calls{0};
    std::atomic<bool> Hold{false};
    std::thread Release;
    {
        TLengthReader Reader(
            [&](std::uint64_t Key, std::int64_t Ms) {
                const std::lock_guard<std::mutex> Guard(Lock);
                Got[Key] = Ms;
                ++Calls;
            },
            [&](const std::string& Path) {
                while (Hold)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                return static_cast<std::int64_t>(Path.size());
            });
        for (std::uint64_t Key = 0; Key < 100; ++Key)
            Reader.Request(Key, std::string(Key, 'x'));
        ASSERT_TRUE(WaitUntil([&] { return Reader.Pending() == 0; }));
        EXPECT_EQ(Calls, 100);
        for (std::uint64_t Key = 0; Key < 100; ++Key)
            EXPECT_EQ(Got[Key], static_cast<std::int64_t>(Key));

        // Held reads, then Cancel: neither the one under way nor the queued are reported.
        Hold = true;
        for (std::uint64_t Key = 100; Key < 110; ++Key)
            Reader.Request(Key, "y");
        ASSERT_TRUE(WaitUntil([&] { return Reader.Pending() == 10; }));
        Reader.Cancel();
        Hold = false;
        ASSERT_TRUE(WaitUntil([&] { return Reader.Pending() == 0; }));
        EXPECT_EQ(Calls, 100);

        // Left pending at destruction: dropped, and the destructor returns
        // once the read under way ends.
        Hold = true;
        for (std::uint64_t Key = 200; Key < 210; ++Key)
            Reader.Request(Key, "z");
        Release = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            Hold = false;
        });
    }
    Release.join();
    EXPECT_EQ(Calls, 100);
}

TEST(LengthReader, ReadsTheLengthsTheFilesState) {
    TempDir Dir;
    const std::string Cbr = Dir.write("cbr.mp3", audiobytes::MpegFrames(100));
    const std::string Text = Dir.write("notes.mp3", "not audio");
    std::mutex Lock;
    std::map<std::uint64_t, std::int64_t> Got;
    TLengthReader Reader([&](std::uint64_t Key, std::int64_t Ms) {
        const std::lock_guard<std::mutex> Guard(Lock);
        Got[Key] = Ms;
    });
    Reader.Request(1, Cbr);
    Reader.Request(2, Text);
    Reader.Request(3, Dir.str() + "/missing.mp3");
    ASSERT_TRUE(WaitUntil([&] { return Reader.Pending() == 0; }));
    const std::lock_guard<std::mutex> Guard(Lock);
    EXPECT_EQ(Got, (std::map<std::uint64_t, std::int64_t>{{1, 2606}, {2, -1}, {3, -1}}));
}

// What a reader states beyond 100 hours (a hostile header) reaches the list as unknown.
TEST(LengthReader, LengthsBeyondOneHundredHoursAreReportedUnknown) {
    const std::vector<std::pair<std::int64_t, std::int64_t>> Rows = {
        {-1, -1}, {0, 0}, {360000000, 360000000}, {360000001, -1}, {4503599627370496000, -1}};
    std::mutex Lock;
    std::map<std::uint64_t, std::int64_t> Got;
    TLengthReader Reader(
        [&](std::uint64_t Key, std::int64_t Ms) {
            const std::lock_guard<std::mutex> Guard(Lock);
            Got[Key] = Ms;
        },
        [&](const std::string& Path) { return Rows[std::stoul(Path)].first; });
    for (std::size_t I = 0; I < Rows.size(); ++I)
        Reader.Request(I, std::to_string(I));
    ASSERT_TRUE(WaitUntil([&] { return Reader.Pending() == 0; }));
    const std::lock_guard<std::mutex> Guard(Lock);
    for (std::size_t I = 0; I < Rows.size(); ++I)
        EXPECT_EQ(Got[I], Rows[I].second) << Rows[I].first;
}
