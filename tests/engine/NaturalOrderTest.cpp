// Natural name order: letters without regard to case, digit runs by value,
// ties by bytes; and the walk handing a folder's entries on in that order.
#include "engine/NaturalOrder.h"
#include "engine/CompileJob.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

TEST(NaturalOrder, SortsAsAFileManagerShows) {
    // Each name sorts strictly before the next.
    const std::vector<std::string> Sorted = {
        "",
        "01 intro.mp3",
        "1 intro.mp3",
        "2 song.mp3",
        "10 song.mp3",
        "A",
        "a",
        "a1",
        "a01b",
        "a1b",
        "a2",
        "A10",
        "a10",
        "Album",
        "album 2",
        "Album 10",
        "b",
        "f",
        "Track 2",
        "track 9",
        "Track 10",
        "Track 0100",
        "Track 100",
        "track 100x",
        "Z",
        "\xC3\x89t\xC3\xA9", // Été: by code point, after the Latin letters
        "\xFF",              // not UTF-8: the character of the byte's value
        "\xCE\xA3\xCE\xB1",  // Σα
        "\xCF\x83\xCE\xB2",  // σβ
        "\xD0\x94\xD0\xB0",  // Да
        "\xD0\xB4\xD0\xB1",  // дб
    };
    for (std::size_t I = 0; I < Sorted.size(); ++I) {
        EXPECT_EQ(CompareNatural(Sorted[I], Sorted[I]), 0) << Sorted[I];
        for (std::size_t J = I + 1; J < Sorted.size(); ++J) {
            EXPECT_LT(CompareNatural(Sorted[I], Sorted[J]), 0) << Sorted[I] << " / " << Sorted[J];
            EXPECT_GT(CompareNatural(Sorted[J], Sorted[I]), 0) << Sorted[J] << " / " << Sorted[I];
        }
    }
    // Digit runs far longer than any integer still compare by value.
    EXPECT_LT(CompareNatural("x" + std::string(40, '9'), "x1" + std::string(40, '0')), 0);
    EXPECT_LT(CompareNatural("e", "\xC3\xA9"), 0);
}

TEST(NaturalOrder, TheWalkHandsEntriesOnInNaturalOrderAndSubfoldersAtTheirPlace) {
    TempDir Dir;
    std::vector<std::string> Names = {"Track 10.mp3",  "track 2.mp3",  "Track 1.mp3",
                                      "b.mp3",         "B.mp3",        "a.mp3",
                                      "Disc 10/x.mp3", "disc 9/y.mp3", "c.mp3"};
    std::shuffle(Names.begin(), Names.end(), std::mt19937(7));
    for (const std::string& Name : Names)
        Dir.write(Name, "x");
    std::vector<std::string> Walked;
    WalkFolder(Dir.str(), true, [&](TFolderEntry& Entry) {
        Walked.push_back(Entry.Path.substr(Dir.str().size() + 1));
    });
    EXPECT_EQ(Walked, (std::vector<std::string>{"a.mp3", "B.mp3", "b.mp3", "c.mp3", "disc 9",
                                                "disc 9/y.mp3", "Disc 10", "Disc 10/x.mp3",
                                                "Track 1.mp3", "track 2.mp3", "Track 10.mp3"}));
}
