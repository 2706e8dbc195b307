// Collation keys: texts by the locale's collation without regard to case and
// with numbers by value, paths folder by folder.
#include "lists/Collation.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace {
std::string Key(const TCollation& Collation, std::string_view Text) {
    std::string key;
    Collation.AppendKey(Text, key);
    return key;
}
} // namespace

TEST(Collation, KeysOrderTextsWithoutRegardToCaseAndNumbersByValue) {
    const TCollation collation("");
    // Each row: texts in ascending order; "=" marks a text that ties with the previous.
    const std::vector<std::vector<std::string>> tables = {
        {"abba", "=ABBA", "=Abba", "alpha", "Beta", "zed"},
        {"Track 2", "Track 9", "track 10", "Track 100"},
        {"1", "2", "10", "1000"},
        {"Dab", "D\xC3\xA9j\xC3\xA0 Vu", "=D\xC3\x89J\xC3\x80 VU", "Dog", "\xC3\x89mile", "Zoe"},
        {"\xCE\xB1\xCE\xB2", "=\xCE\x91\xCE\x92", "\xCE\xB3"}, // Greek
        {"\xD0\xB0", "=\xD0\x90", "\xD0\xB1", "\xD1\x8F"},     // Cyrillic
        {"", "a", "a b", "ab"},
    };
    for (const auto& table : tables) {
        for (std::size_t i = 1; i < table.size(); ++i) {
            const bool tie = table[i][0] == '=';
            const std::string text = tie ? table[i].substr(1) : table[i];
            const std::string before =
                table[i - 1][0] == '=' ? table[i - 1].substr(1) : table[i - 1];
            const std::string a = Key(collation, before), b = Key(collation, text);
            if (tie)
                EXPECT_EQ(a, b) << before << " ties with " << text;
            else
                EXPECT_LT(a, b) << before << " before " << text;
            EXPECT_EQ(a.find('\0'), std::string::npos);
        }
    }
    // Bytes that are not UTF-8 count as U+FFFD: a key, not a failure.
    EXPECT_FALSE(Key(collation, "caf\xE9").empty());
}

TEST(Collation, PathKeysGoFolderByFolder) {
    const TCollation collation("");
    const auto pathKey = [&](std::string_view Path) {
        std::string key;
        collation.AppendPathKey(Path, key);
        return key;
    };
    // A folder sorts right after its parent, before the parent's next sibling,
    // though a space sorts before a slash in the whole text.
    const std::vector<std::string> ascending = {
        "/m/", "/m/Rock/", "/m/rock/CD 2/", "/m/Rock/CD 10/", "/m/Rock Live/", "/n/"};
    for (std::size_t i = 1; i < ascending.size(); ++i)
        EXPECT_LT(pathKey(ascending[i - 1]), pathKey(ascending[i]))
            << ascending[i - 1] << " before " << ascending[i];
}
