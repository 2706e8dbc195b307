// The list's row storage: texts kept once by id, rows that give back exactly
// what was put in, running figures, and ranking by keys.
#include "lists/ListStore.h"
#include "lists/TextPool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {
std::string RandomBytes(std::mt19937& Random, std::size_t MaxLength, int Alphabet) {
    std::string text(Random() % (MaxLength + 1), '\0');
    for (char& c : text)
        c = static_cast<char>(Alphabet == 256 ? Random() % 256 : 'a' + Random() % Alphabet);
    return text;
}
} // namespace

TEST(TextPool, InternedTextsShareOneIdAndEveryTextComesBackByteForByte) {
    TTextPool interned(true), plain(false);
    EXPECT_EQ(interned.Add(""), TTextPool::EmptyId);
    EXPECT_EQ(plain.Add(""), TTextPool::EmptyId);
    std::mt19937 random(7);
    std::map<std::string, TTextPool::Id> seen;
    std::vector<std::pair<TTextPool::Id, std::string>> added;
    for (int i = 0; i < 20000; ++i) {
        // Short texts over a small alphabet repeat often; any byte may occur.
        const std::string text = RandomBytes(random, i % 3 ? 3 : 40, i % 2 ? 3 : 256);
        const TTextPool::Id id = interned.Add(text);
        if (text.empty()) {
            EXPECT_EQ(id, TTextPool::EmptyId);
        }
        const auto [known, inserted] = seen.emplace(text, id);
        EXPECT_EQ(known->second, id) << "an equal text gets the id it got first";
        added.emplace_back(plain.Add(text), text);
    }
    EXPECT_EQ(interned.Count(), seen.size() + (seen.count("") ? 0 : 1));
    for (const auto& [text, id] : seen)
        EXPECT_EQ(interned.Text(id), text);
    for (const auto& [id, text] : added)
        EXPECT_EQ(plain.Text(id), text);

    // A text longer than an arena block, and small ones after it.
    const std::string huge(3 << 20, 'x');
    const TTextPool::Id hugeId = plain.Add(huge);
    const TTextPool::Id after = plain.Add("after");
    EXPECT_EQ(plain.Text(hugeId), huge);
    EXPECT_EQ(plain.Text(after), "after");

    interned.Clear();
    EXPECT_EQ(interned.Count(), 1u);
    EXPECT_EQ(interned.Text(TTextPool::EmptyId), "");
    EXPECT_EQ(interned.Add("x"), 1u);
}

TEST(TextPool, KeysAreMadeOnceAndRanksFollowThem) {
    TTextPool pool(true);
    const TTextPool::Id b = pool.Add("b");
    int made = 0;
    // Reversed bytes as the key: the ranks must follow the keys, not the texts.
    pool.SetKeyMaker([&made](std::string_view Text, std::string& Key) {
        ++made;
        Key.append(Text.rbegin(), Text.rend());
    });
    EXPECT_EQ(made, 2) << "the texts already there (the empty one and b) get keys";
    const TTextPool::Id ab = pool.Add("ab");
    const TTextPool::Id ba = pool.Add("ba");
    pool.Add("ab");
    EXPECT_EQ(made, 4) << "an interned text that is already there gets no second key";
    EXPECT_EQ(pool.Key(ba), "ab");
    const std::vector<std::uint32_t>& ranks = pool.Ranks();
    // Keys: "" < "a"(ba) < "b"(b) < "ba"(ab).
    EXPECT_EQ(ranks[TTextPool::EmptyId], 0u);
    EXPECT_EQ(ranks[ba], 1u);
    EXPECT_EQ(ranks[b], 2u);
    EXPECT_EQ(ranks[ab], 3u);
    const TTextPool::Id ca = pool.Add("ca"); // key "ac", between "a" and "b"
    EXPECT_EQ(pool.Ranks().size(), pool.Count()) << "a new text makes the ranks again";
    EXPECT_EQ(pool.Ranks()[ca], 2u);
    EXPECT_EQ(pool.Ranks()[b], 3u);
}

// Property: over random keys with long shared prefixes (as paths have), the
// ranks agree with comparing the keys as unsigned bytes.
TEST(RankByKeys, RanksAgreeWithByteOrderAndEqualKeysShareARank) {
    std::mt19937 random(11);
    for (int round = 0; round < 30; ++round) {
        const std::size_t count = round < 10 ? random() % 10 : random() % 3000;
        const std::string prefix(random() % 24, static_cast<char>(1 + random() % 255));
        std::vector<std::string> keys(count);
        for (std::string& key : keys) {
            key = prefix + RandomBytes(random, random() % 2 ? 2 : 20, round % 2 ? 2 : 256);
            std::replace(key.begin(), key.end(), '\0', '\x01'); // keys hold no zero byte
        }
        const std::vector<std::uint32_t> ranks =
            RankByKeys(count, [&](std::uint32_t Item) { return std::string_view(keys[Item]); });
        std::vector<std::string> distinct = keys;
        std::sort(distinct.begin(), distinct.end());
        distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
        for (std::size_t i = 0; i < count; ++i) {
            const auto expected =
                std::lower_bound(distinct.begin(), distinct.end(), keys[i]) - distinct.begin();
            ASSERT_EQ(ranks[i], static_cast<std::uint32_t>(expected))
                << "round " << round << " item " << i;
        }
    }
}

TEST(OrderByKeys, SortsStablyOverEveryByteOfTheKey) {
    std::mt19937_64 random(5);
    for (const std::size_t count : {0u, 1u, 7u, 47u, 48u, 5000u}) {
        std::vector<std::uint64_t> keys(count);
        for (std::uint64_t& key : keys)
            key = random() % 2 ? random() % 4 : random() >> (random() % 64);
        std::vector<int> expected(count);
        std::iota(expected.begin(), expected.end(), 0);
        std::stable_sort(expected.begin(), expected.end(),
                         [&](int A, int B) { return keys[A] < keys[B]; });
        EXPECT_EQ(OrderByKeys(keys), expected) << count << " keys";
    }
}

TEST(ListStore, RowsGiveBackTheirTextsAfterMovesRemovesAndOrders) {
    TListStore model;
    std::vector<TCheckListEntry> expected;
    std::mt19937 random(3);
    const char* const artists[] = {"Alpha", "Beta", ""};
    for (int i = 0; i < 300; ++i) {
        TCheckListEntry entry;
        // Captions with and without folders, and bytes that are not UTF-8.
        entry.Caption = i % 5 == 0   ? "name only " + std::to_string(i)
                        : i % 7 == 0 ? "/"
                                     : "/m/" + std::string(artists[i % 3]) + "/\xE9" +
                                           std::to_string(i) + ".mp3";
        entry.State = i % 4 == 0 ? UncheckedRow : CheckedRow;
        entry.Columns = {"T" + std::to_string(i), artists[i % 3], "Album", "", "1999", "3/9"};
        entry.IconIndex = i % 3 - 1;
        entry.Value = static_cast<std::int32_t>(random());
        if (i % 2) {
            model.Append(entry);
        } else {
            std::array<std::string_view, ListTextColumns> columns;
            std::copy(entry.Columns.begin(), entry.Columns.end(), columns.begin());
            EXPECT_TRUE(model.Append(entry.Caption, columns, entry.State, entry.IconIndex));
            model.SetValue(model.Count() - 1, entry.Value);
        }
        expected.push_back(entry);
    }
    model.Move(3, 200);
    std::rotate(expected.begin() + 3, expected.begin() + 4, expected.begin() + 201);
    model.Remove(10);
    expected.erase(expected.begin() + 10);
    std::vector<int> order(expected.size());
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), random);
    model.ApplyOrder(order);
    std::vector<TCheckListEntry> reordered;
    for (int row : order)
        reordered.push_back(expected[row]);
    model.SetCaption(0, "/new/caption");
    reordered[0].Caption = "/new/caption";
    // Something that is not an order of the rows leaves them as they are.
    std::vector<int> repeated(reordered.size(), 0);
    EXPECT_FALSE(model.ApplyOrder(repeated));
    EXPECT_FALSE(model.ApplyOrder({}));

    ASSERT_EQ(model.Count(), static_cast<int>(reordered.size()));
    int checked = 0;
    for (int row = 0; row < model.Count(); ++row) {
        const TCheckListEntry entry = model.Entry(row);
        EXPECT_EQ(entry.Caption, reordered[row].Caption);
        EXPECT_EQ(model.Caption(row), reordered[row].Caption);
        EXPECT_EQ(entry.State, reordered[row].State);
        EXPECT_EQ(entry.Columns, reordered[row].Columns);
        EXPECT_EQ(model.ColumnText(row, 2), reordered[row].Columns[1]);
        EXPECT_EQ(entry.IconIndex, reordered[row].IconIndex);
        EXPECT_EQ(entry.Value, reordered[row].Value);
        checked += entry.State == CheckedRow;
    }
    EXPECT_EQ(model.CheckedCount(), checked);
}

TEST(ListStore, RepeatedTextsAreStoredOnce) {
    TListStore model;
    const std::string album(200, 'a');
    for (int i = 0; i < 20000; ++i)
        model.Append("/music/artist/" + std::to_string(i) + ".mp3",
                     {"Title", "Artist", album, "Rock", "2001", "1"}, CheckedRow, 0);
    // 20,000 copies of the album name alone would take 4 MB.
    EXPECT_LT(model.MemoryBytes(), std::size_t{3} << 20);
    EXPECT_EQ(model.ColumnText(19999, 3), album);
    EXPECT_EQ(model.Caption(19999), "/music/artist/19999.mp3");
}

// Random edits of a list with dropped rows and lengths: after each, the
// running figures equal those counted afresh, a dropped row is never checked,
// and hiding then showing the dropped rows gives back the same list.
TEST(ListStore, RunningFiguresAndDroppedRowsHoldUnderRandomEdits) {
    TListStore model;
    std::mt19937 random(11);
    const auto pick = [&](int Limit) { return static_cast<int>(random() % unsigned(Limit)); };
    const auto rows = [&] {
        std::vector<std::string> result;
        for (int row = 0; row < model.Count(); ++row)
            result.push_back(model.Caption(row) + (model.Row(row).Dropped ? " dropped" : ""));
        return result;
    };
    int made = 0;
    for (int step = 0; step < 3000; ++step) {
        const int count = model.Count();
        switch (pick(9)) {
        case 0:
        case 1:
            model.Append("/m/" + std::to_string(made++), {}, pick(2) ? CheckedRow : UncheckedRow,
                         -1, 0, pick(3) == 0);
            break;
        case 2:
            if (count > 0)
                model.SetState(pick(count), pick(2) ? CheckedRow : UncheckedRow);
            break;
        case 3:
            model.SetAllStates([&](TRowState State) {
                return pick(3) == 0 ? (State == CheckedRow ? UncheckedRow : CheckedRow)
                                    : CheckedRow;
            });
            break;
        case 4:
            if (count > 0)
                model.SetLength(pick(count), pick(4) == 0 ? LengthUnknown : pick(4000));
            break;
        case 5:
            if (count > 0)
                model.Remove(pick(count));
            break;
        case 6:
            if (count > 0) {
                std::vector<int> removed;
                for (int row = 0; row < count; ++row)
                    if (pick(8) == 0)
                        removed.push_back(row);
                model.RemoveMany(removed);
            }
            break;
        case 7: {
            std::vector<int> order(count);
            std::iota(order.begin(), order.end(), 0);
            std::shuffle(order.begin(), order.end(), random);
            model.ApplyOrder(order);
            break;
        }
        case 8: {
            const std::vector<std::string> before = rows();
            const int hidden = model.DroppedCount();
            model.SetDroppedShown(false);
            EXPECT_EQ(model.DroppedCount(), 0);
            EXPECT_EQ(model.Count() + model.HiddenCount(), static_cast<int>(before.size()));
            EXPECT_EQ(model.HiddenCount(), hidden);
            // Dropped rows that arrive meanwhile wait aside too.
            if (pick(2)) {
                EXPECT_FALSE(
                    model.Append("/m/" + std::to_string(made++), {}, CheckedRow, -1, 0, true))
                    << "a dropped row goes aside while dropped rows are hidden";
            }
            model.SetDroppedShown(true);
            std::vector<std::string> after = rows();
            if (after.size() > before.size()) {
                EXPECT_EQ(after.back(), "/m/" + std::to_string(made - 1) + " dropped");
                after.pop_back();
            }
            EXPECT_EQ(after, before) << "step " << step;
            break;
        }
        }
        int checked = 0, timed = 0, dropped = 0;
        std::int64_t seconds = 0;
        for (int row = 0; row < model.Count(); ++row) {
            const bool on = model.Row(row).State == CheckedRow;
            checked += on;
            dropped += model.Row(row).Dropped;
            if (model.Row(row).Dropped) {
                ASSERT_FALSE(on) << "a dropped row is never checked (step " << step << ")";
            }
            if (on && model.Row(row).Seconds >= 0) {
                ++timed;
                seconds += model.Row(row).Seconds;
            }
        }
        ASSERT_EQ(model.CheckedCount(), checked) << "step " << step;
        ASSERT_EQ(model.CheckedWithLength(), timed) << "step " << step;
        ASSERT_EQ(model.CheckedSeconds(), seconds) << "step " << step;
        ASSERT_EQ(model.DroppedCount(), dropped) << "step " << step;
    }
    model.Clear();
    EXPECT_EQ(model.CheckedSeconds(), 0);
    EXPECT_EQ(model.HiddenCount(), 0);
}

// A million rows as a large library gives them: the texts of a folder, an
// artist or an album are kept once, so the rows stay compact; a sort by
// caption or by a text column, and the order applied, give every row back in
// that order with its own texts.
TEST(ListStore, AMillionRowsStayCompactAndSortInPlace) {
    constexpr int Count = 1'000'000;
    TListStore store;
    store.Reserve(Count);
    std::mt19937 random(17);
    for (int i = 0; i < Count; ++i) {
        const unsigned artist = random() % 2000, album = random() % 8;
        const std::string folder =
            "/music/Artist " + std::to_string(artist) + "/Album " + std::to_string(album) + "/";
        const std::string title = "Title " + std::to_string(i % 5000);
        store.Append(folder + std::to_string(i) + ".mp3",
                     {title, "Artist " + std::to_string(artist), "Album", "", "1999", ""},
                     i % 3 ? CheckedRow : UncheckedRow, -1);
    }
    ASSERT_EQ(store.Count(), Count);
    EXPECT_EQ(store.CheckedCount(), Count - (Count + 2) / 3);
    // The rows themselves take 48 bytes each; their names a few more.
    EXPECT_LT(store.MemoryBytes(), std::size_t{80} * Count);

    const std::vector<int> byCaption = store.ColumnOrder(TColumnSort::Caption, 0, true);
    ASSERT_TRUE(store.IsOrder(byCaption));
    ASSERT_TRUE(store.ApplyOrder(byCaption));
    for (int row = 1; row < Count; ++row)
        ASSERT_LT(store.Caption(row - 1), store.Caption(row)) << "row " << row;

    const std::vector<int> byTitle = store.ColumnOrder(TColumnSort::Text, 1, false);
    const std::string before = store.Caption(byTitle[0]);
    ASSERT_TRUE(store.ApplyOrder(byTitle));
    EXPECT_EQ(store.Caption(0), before);
    for (int row = 1; row < Count; ++row) {
        const std::string_view a = store.ColumnText(row - 1, 1), b = store.ColumnText(row, 1);
        ASSERT_GE(a, b) << "row " << row;
        // Equal titles keep the caption order they had.
        if (a == b) {
            ASSERT_LT(store.Caption(row - 1), store.Caption(row)) << "row " << row;
        }
    }
    // Each row's artist column still names the folder it is in.
    for (int row = 0; row < Count; row += 997)
        EXPECT_TRUE(
            store.Caption(row).starts_with("/music/" + std::string(store.ColumnText(row, 2)) + "/"))
            << store.Caption(row);
}
