// The wildcard mask language: matching, folding, sets and every malformed mask.
#include "engine/Masks.h"
#include "engine/CaseFold.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct MatchCase {
    std::string Mask;
    std::string Text;
    bool Matches;
};

void ExpectMatches(const std::vector<MatchCase>& Cases) {
    for (const MatchCase& C : Cases)
        EXPECT_EQ(MatchWildcard(C.Text, C.Mask), C.Matches)
            << "mask '" << C.Mask << "' text '" << C.Text << "'";
}

std::string Repeat(const std::string& Piece, int Times) {
    std::string Result;
    for (int I = 0; I < Times; ++I)
        Result += Piece;
    return Result;
}

// Compiles Mask expecting it to be rejected at Position with the exact message.
void ExpectInvalid(const std::string& Mask, int Position) {
    SCOPED_TRACE("mask '" + Mask + "'");
    try {
        TMask Compiled(Mask);
        ADD_FAILURE() << "compiled without error";
    } catch (const EMaskException& E) {
        EXPECT_EQ(std::string(E.what()),
                  "'" + Mask + "' is an invalid mask at (" + std::to_string(Position) + ")");
        EXPECT_EQ(E.Position(), Position);
    }
}

} // namespace

TEST(MasksTest, DocumentedTable) {
    ExpectMatches({
        {"*.mp3", "C:\\Music\\Song.MP3", true},
        {"*.mp3", "C:\\Music\\Song.mp3.bak", false},
        {"a*.mp3", "C:\\Music\\abc.mp3", false},
        {"*\\Rock\\*", "C:\\Music\\Rock\\x.ogg", true},
        {"*.*", "C:\\Music\\README", false},
        {"*a*a", "banana", true},
        {"*?", "", true},
        {"?*", "", false},
        {"abc?", "abc", false},
        {"[a-c]x", "Bx", true},
        {"[!a-c]x", "dx", true},
        {"[!a-c]x", "bx", false},
        {"a[!b]", "a", false},
        {"", "", true},
        {"", "a", false},
        {"\xC3\xA9*", "\xC3\x89t\xC3\xA9", true}, // é* against a text starting with É
        {"\xC3\xA9*", "\xC3\xA9t\xC3\xA9", true},
        {"[A-z]", "_", false},
        {"[A-z]", "q", true},
    });
}

TEST(MasksTest, StarsQuestionMarksAndWholeText) {
    ExpectMatches({
        {"*", "", true},
        {"*", "/music/any thing/.. at all", true},
        {"*/rock/*.mp3", "/home/u/Music/Rock/a.MP3", true},
        {"*/rock/*.mp3", "/home/u/Music/Rocks/a.mp3", false},
        {"***", "x", true},
        {"*?*", "", true}, // one star group: the "?" is dropped
        {"*??", "", true},
        {"?*?", "a", true}, // the second "?" follows a star and is dropped
        {"?*?", "", false},
        {"?*?", "ab", true},
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"abc", "ABC", true},
        {"ABC", "abc", true},
        {"abc", "abcd", false},
        {"abc", "ab", false},
        {"*abc", "xxabcabc", true},
        {"*abc*abc", "abcabcab", false},
        {"*ab*b", "aab", false},
        {"*ab*b", "aabxb", true},
        {"a*b*c*d", "aXbYcZd", true},
        {"a*b*c*d", "aXcYbZd", false},
        {"*.", "/music/.", true},
        {"?", "\xC3\xA9", true}, // "?" takes one character, however many bytes
        {"??", "\xC3\xA9", false},
        {"\xFF", "\xFF", true},
        {"\xE0", "\xC0", true}, // bytes that are not UTF-8: the code page's à and À
        {std::string("a\0b", 3), std::string("A\0B", 3), true},
        {std::string("a\0b", 3), "ab", false},
    });
}

TEST(MasksTest, Sets) {
    ExpectMatches({
        {"[abc]", "B", true},        {"[abc]", "d", false},       {"[abc]", "", false},
        {"[!abc]", "D", true},       {"[!abc]", "A", false},      {"[!abc]", "", false},
        {"[a!]", "!", true},                                 // "!" past the first place is a member
        {"[!!]", "!", false},                                // negated set holding "!"
        {"[!!]", "a", true},         {"[^a]", "^", true},    // "^" is an ordinary member
        {"[^a]", "b", false},        {"[a-c-e]", "d", true}, // the range leaves the start at "a"
        {"[a-c-e]", "f", false},     {"[a-]]", "]", true},   // "]" after "-" ends the range a..]
        {"[a-]]", "\\", true},       {"[a-]]", "q", true},        {"[a-]]", "^", false},
        {"[bz-a]", "b", true}, // the backward range adds nothing, not even its start
        {"[bz-a]", "z", false},      {"[a-a]", "A", true},        {"[0-9][0-9]", "42", true},
        {"[0-9][0-9]", "4x", false}, {"*[0-9]", "track 7", true}, {"*[!0-9]", "track 7", false},
        {"[\xC3]", "\xC3", true},    {"[*?]", "*", true}, // no wildcards inside a set
        {"[*?]", "x", false},        {"[[]", "[", true},
    });
}

TEST(MasksTest, InvalidSets) {
    ExpectInvalid("[-a]", 2);
    ExpectInvalid("[!-a]", 3);
    ExpectInvalid("[ab", 4);
    ExpectInvalid("[", 2);
    ExpectInvalid("[!", 3);
    ExpectInvalid("x[a-c", 6);
    ExpectInvalid("[z-a]", 5);
    ExpectInvalid("[z-ay-b]", 8);
    ExpectInvalid("[]", 2);
    ExpectInvalid("[]a]", 2);
    ExpectInvalid("[!]", 3);
    ExpectInvalid("ab[]cd", 4);
    ExpectInvalid("[a-", 4);  // ends right after "-"
    ExpectInvalid("[a-]", 5); // "]" ends the range, so the set is still open
    ExpectInvalid("*.mp3[", 7);
    // Positions count characters.
    ExpectInvalid("\xC3\xA9[", 3);
    ExpectInvalid("\xCE\xA3\xCE\xA3[\xCE\xA3-\xCE\xB1]", 7);
    // A mask that is not UTF-8 is read in the code page, and reported so.
    try {
        TMask Compiled("\xE9[");
        ADD_FAILURE() << "compiled without error";
    } catch (const EMaskException& E) {
        EXPECT_STREQ(E.what(), "'\xC3\xA9[' is an invalid mask at (3)");
    }
}

TEST(MasksTest, StarGroupLimit) {
    // Thirty groups compile and match; the 31st is reported at its element's
    // last character: the literal, the set's "]", or one past the end.
    EXPECT_TRUE(MatchWildcard(Repeat("a", 30), Repeat("*a", 30)));
    EXPECT_FALSE(MatchWildcard(Repeat("a", 29), Repeat("*a", 30)));
    EXPECT_TRUE(MatchWildcard(Repeat("xa", 30), Repeat("*a", 29) + "*"));
    ExpectInvalid(Repeat("*a", 31), 62);
    ExpectInvalid(Repeat("*[ab]", 31), 155);
    ExpectInvalid(Repeat("*a", 30) + "*", 62);
    ExpectInvalid(Repeat("*a", 30) + "*bc", 62);
    ExpectInvalid(Repeat("*a", 30) + "**?*?c", 66);
    // Stars in a row and dropped "?" stay one group; plain elements count nothing.
    EXPECT_NO_THROW(TMask(Repeat("**?*a", 30) + Repeat("b?[c]", 20)));
    EXPECT_NO_THROW(TMask(Repeat("*a", 29) + "*"));
    // Faults are found left to right.
    ExpectInvalid(Repeat("*a", 31) + "[", 62);
    ExpectInvalid("[" + Repeat("*a", 31), 64);
}

TEST(MasksTest, CompiledMaskIsReusableAndLongMasksWork) {
    const TMask Mp3("*.mp3");
    EXPECT_TRUE(Mp3.Matches("/a/b.mp3"));
    EXPECT_FALSE(Mp3.Matches("/a/b.mp4"));
    EXPECT_TRUE(Mp3.Matches("/a/c.Mp3"));

    // Beyond the few elements and sets kept inline.
    const std::string Mask = Repeat("[a-c]x", 20) + "*" + Repeat("?", 10) + "[!z]";
    const TMask Long(Mask);
    const std::string Good = Repeat("bX", 20) + "0123456789" + "y";
    EXPECT_TRUE(Long.Matches(Good));
    EXPECT_TRUE(Long.Matches(Repeat("Cx", 20) + "----" + "0123456789" + "y"));
    std::string Bad = Good;
    Bad[38] = 'd';
    EXPECT_FALSE(Long.Matches(Bad));
    EXPECT_FALSE(Long.Matches(Repeat("bX", 20) + "0123456789" + "z"));
    const TMask Copy = Long;
    EXPECT_TRUE(Copy.Matches(Good));
}

TEST(MasksTest, ManyStarsAgainstLongTextsFinish) {
    // A backtracking search over every star group would not finish these.
    const std::string Text(20000, 'a');
    EXPECT_FALSE(MatchWildcard(Text, Repeat("*a", 29) + "*b"));
    EXPECT_TRUE(MatchWildcard(Text + "b", Repeat("*a", 29) + "*b"));
    EXPECT_FALSE(MatchWildcard(Text, Repeat("*?a", 15) + Repeat("*[a]", 14) + "*[!a]"));
    EXPECT_TRUE(MatchWildcard(Text, Repeat("*a", 14) + Repeat("a", 14) + "*"));
}

TEST(MasksTest, LettersOfEveryScriptFoldByUnicodeSimpleCaseFolding) {
    const std::pair<char32_t, char32_t> Folds[] = {
        {U'A', U'a'},           {U'z', U'z'},
        {U'\u00c9', U'\u00e9'}, // É é
        {U'\u00c4', U'\u00e4'}, {U'\u03a3', U'\u03c3'},
        {U'\u03c2', U'\u03c3'}, // Ä, Σ, final ς
        {U'\u0401', U'\u0451'}, {U'\u042f', U'\u044f'},
        {U'\u212a', U'k'}, // Ё, Я, Kelvin
        {U'\u01c5', U'\u01c6'}, {U'\u00df', U'\u00df'},
        {U'\u0130', U'\u0130'}, // ǅ; ß, İ alone
        {U'\u1e9e', U'\u00df'}, {U'\U00010400', U'\U00010428'},
        {U'1', U'1'},
    };
    for (const auto& [From, To] : Folds)
        EXPECT_EQ(FoldCase(From), To) << std::hex << static_cast<unsigned>(From);
    ExpectMatches({
        {"d\xC3\xA9j\xC3\xA0*", "D\xC3\x89J\xC3\x80 V\xC3\x9C", true}, // déjà* / DÉJÀ VÜ
        {"*\xCF\x83*", "\xCE\x9F\xCE\xA3\xCE\x9F\xCE\xA3", true},      // *σ* / ΟΣΟΣ
        {"\xD0\xB4?", "\xD0\x94\xD0\x96", true},                       // д? / ДЖ
        {"[\xD0\xB0-\xD1\x8F]*", "\xD0\xAF", true},                    // [а-я]* / Я
        {"*k", "\xE2\x84\xAA", true},                                  // the Kelvin sign
        {"*K*", "\xC5\xBF", false},                                    // ſ is no k
        {"*s", "\xC5\xBF", true},                                      // but folds to s
    });
}

TEST(MasksTest, BytesThatAreNotUtf8AreReadInTheCodePage) {
    // A file name in a legacy encoding: each stray byte is one character.
    EXPECT_TRUE(MatchWildcard("/m/caf\xE9 \xFF.mp3", "*\xC3\x89 ?.MP3"));
    EXPECT_TRUE(MatchWildcard("/m/caf\xE9\xC3\xA9.mp3", "*\xC3\xA9\xC3\xA9.mp3"));
    TTagDecoder Cyrillic("Windows-1251");
    EXPECT_TRUE(MatchWildcard("/m/\xC4\xE0.mp3", "*\xD0\xB4\xD0\x90.mp3", Cyrillic)); // Да
    EXPECT_FALSE(MatchWildcard("/m/\xC4\xE0.mp3", "*\xD0\xB4\xD0\x90.mp3"));
    // A mask from a hand-edited settings file in the code page.
    EXPECT_TRUE(MatchWildcard("\xD0\xB4\xD0\xB0", "\xC4\xC0", Cyrillic));
    EXPECT_TRUE(MatchWildcard("Caf\xC3\xA9", "caf\xC9"));
}
