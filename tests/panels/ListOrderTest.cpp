// The order a header click gives: texts by the locale's collation without
// regard to case and with numbers by value, paths folder by folder, Track by
// number, ties in their former order either way.
#include "PanelTestSupport.h"
#include "lists/Collation.h"
#include "panels/MediaFileCheckListFrame.h"

#include <QCollator>

#include <algorithm>
#include <numeric>
#include <random>

namespace {
std::string Key(const TCollation& Collation, std::string_view Text) {
    std::string key;
    Collation.AppendKey(Text, key);
    return key;
}

int Sign(int Value) {
    return (Value > 0) - (Value < 0);
}

// Panel rows from (path, title, artist, track) and the paths in list order.
class ListOrder : public ::testing::Test {
protected:
    void Add(const std::string& Path, const std::string& Title, const std::string& Artist = "",
             const std::string& Track = "") {
        TMediaInfo info;
        info.Title = Title;
        info.Artist = Artist;
        info.Track = Track;
        panel.AddMediaEntry(Path, info, true);
    }
    std::vector<std::string> Paths() const {
        std::vector<std::string> paths;
        for (int row = 0; row < panel.Count(); ++row)
            paths.push_back(panel.Model()->Caption(row));
        return paths;
    }
    std::vector<std::string> Column(int Index) const {
        std::vector<std::string> texts;
        for (int row = 0; row < panel.Count(); ++row)
            texts.emplace_back(panel.Model()->ColumnText(row, Index));
        return texts;
    }
    TMediaFileCheckList panel{"Playlist"};
};
} // namespace

// Property: the keys order random texts as QCollator does (numeric mode, case
// insensitive) in the same locale: ASCII, accented Latin, Greek and Cyrillic
// letters of both cases, digits, spaces and punctuation.
TEST(Collation, KeysAgreeWithQCollator) {
    const char* const pieces[] = {"a",        "B",        "z",        "\xC3\xA9", "\xC3\x89",
                                  "\xCE\xB1", "\xCE\x91", "\xD0\xB6", "\xD0\x96", "0",
                                  "7",        "12",       " ",        "-",        "."};
    for (const char* locale : {"en_US", "de_DE", "sv_SE"}) {
        const TCollation collation(locale);
        QCollator reference{QLocale(QString::fromLatin1(locale))};
        reference.setNumericMode(true);
        reference.setCaseSensitivity(Qt::CaseInsensitive);
        std::mt19937 random(9);
        for (int i = 0; i < 2000; ++i) {
            std::string a, b;
            for (std::string* text : {&a, &b})
                for (unsigned n = random() % 6; n > 0; --n)
                    *text += pieces[random() % std::size(pieces)];
            const int expected =
                reference.compare(QString::fromStdString(a), QString::fromStdString(b));
            ASSERT_EQ(Sign(Key(collation, a).compare(Key(collation, b))), Sign(expected))
                << locale << ": \"" << a << "\" vs \"" << b << "\"";
        }
    }
}

TEST_F(ListOrder, TitleArtistAndTrackColumnsSortByCollationAndNumber) {
    Add("/m/1.mp3", "track 10", "b", "10/12");
    Add("/m/2.mp3", "Track 9", "A", "9");
    Add("/m/3.mp3", "\xC3\xA9t\xC3\xA9", "a", "");
    Add("/m/4.mp3", "Zulu", "\xC3\x80", "2");
    Add("/m/5.mp3", "eta", "B", "x");

    panel.ListColumnClick(1);
    EXPECT_EQ(Column(1), (std::vector<std::string>{"eta", "\xC3\xA9t\xC3\xA9", "Track 9",
                                                   "track 10", "Zulu"}));
    panel.ListColumnClick(6);
    EXPECT_EQ(Paths(), (std::vector<std::string>{"/m/5.mp3", "/m/3.mp3", "/m/4.mp3", "/m/2.mp3",
                                                 "/m/1.mp3"}))
        << "no number and empty come first (0), then 2, 9, 10; ties keep their order";
    // Artists: a, A and B, b tie by case; À (an accent) after them; ties keep
    // the order the last sort left, in both directions.
    panel.ListColumnClick(1);
    panel.ListColumnClick(2);
    EXPECT_EQ(Column(2), (std::vector<std::string>{"a", "A", "\xC3\x80", "B", "b"}));
    panel.ListColumnClick(2);
    EXPECT_EQ(Column(2), (std::vector<std::string>{"B", "b", "\xC3\x80", "a", "A"}));
    EXPECT_FALSE(panel.SortAscending());
}

TEST_F(ListOrder, FilenamesSortComponentByComponent) {
    // Component by component: a folder's files and subfolders among each
    // other by name; é (an e with an accent) among the e's; a bare name is a
    // component of the top level, like "m" and "n".
    const std::vector<std::string> sorted = {"/m/a.mp3",
                                             "/m/B.mp3",
                                             "/m/\xC3\xA9/a.mp3",
                                             "/m/Rock/CD 2/x.mp3",
                                             "/m/Rock/CD 10/x.mp3",
                                             "/m/Rock/track 2.mp3",
                                             "/m/rock/Track 10.mp3",
                                             "/m/Rock Live/a.mp3",
                                             "/n/a.mp3",
                                             "plain.mp3"};
    std::vector<std::string> shuffled = sorted;
    std::mt19937 random(4);
    std::shuffle(shuffled.begin(), shuffled.end(), random);
    for (const std::string& path : shuffled)
        Add(path, "t");
    panel.ListColumnClick(0);
    EXPECT_EQ(Paths(), sorted);
    panel.ListColumnClick(0);
    EXPECT_EQ(Paths(), std::vector<std::string>(sorted.rbegin(), sorted.rend()));

    // Rows that arrive after a sort get their keys too; the playlist follows the list.
    Add("/m/Rock/track 3.mp3", "t");
    panel.ListColumnClick(1);
    panel.ListColumnClick(0);
    std::vector<std::string> checked;
    panel.GetCheckedCaptions(checked);
    EXPECT_EQ(checked[6], "/m/Rock/track 3.mp3");
    EXPECT_EQ(checked, Paths());
}

// Property: over random trees of folders whose names differ in case, accents
// and numbers, the Filename order is a stable sort by each caption's whole
// key (its folders' keys component by component, then its name's key); a
// model without key makers sorts captions by their bytes.
TEST(CaptionOrder, AgreesWithWholePathKeysOverRandomTrees) {
    const TCollation collation(SystemCollationLocale());
    const char* const parts[] = {"a", "A", "b", "\xC3\xA9", "E", "2", "10", "x y", "x"};
    std::mt19937 random(21);
    for (int round = 0; round < 20; ++round) {
        TMediaFileCheckList panel("Playlist");
        TCheckListModel plain;
        std::vector<std::string> paths;
        for (int i = 0, count = 1 + random() % 200; i < count; ++i) {
            std::string path = random() % 10 ? "/" : "";
            for (unsigned depth = random() % 4; depth > 0; --depth)
                path += std::string(parts[random() % std::size(parts)]) + "/";
            path += parts[random() % std::size(parts)];
            paths.push_back(path);
            panel.AddMediaEntry(path, TMediaInfo{}, true);
            plain.Append(path, {}, CheckedRow, -1);
        }
        const auto wholeKey = [&](const std::string& Path) {
            const std::size_t slash = Path.rfind('/');
            const std::size_t name = slash == std::string::npos ? 0 : slash + 1;
            std::string key;
            collation.AppendPathKey(Path.substr(0, name), key);
            collation.AppendKey(Path.substr(name), key);
            return key;
        };
        for (const bool ascending : {true, false}) {
            std::vector<int> expected(paths.size()), bytes(paths.size());
            std::iota(expected.begin(), expected.end(), 0);
            std::iota(bytes.begin(), bytes.end(), 0);
            std::stable_sort(expected.begin(), expected.end(), [&](int A, int B) {
                return ascending ? wholeKey(paths[A]) < wholeKey(paths[B])
                                 : wholeKey(paths[B]) < wholeKey(paths[A]);
            });
            std::stable_sort(bytes.begin(), bytes.end(), [&](int A, int B) {
                return ascending ? paths[A] < paths[B] : paths[B] < paths[A];
            });
            ASSERT_EQ(panel.Model()->ColumnOrder(0, ascending), expected) << "round " << round;
            ASSERT_EQ(plain.ColumnOrder(0, ascending), bytes) << "round " << round;
        }
    }
}
