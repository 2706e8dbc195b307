// Random masks and texts: the mask matcher against a plain table-filling matcher
// written from the language's rules, over small alphabets that make hits likely:
// ASCII, and a mix of accented Latin, Greek and Cyrillic letters in both cases.
#include "engine/Masks.h"
#include "media/text/Utf8.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

unsigned char Upper(unsigned char C) {
    return C >= 'a' && C <= 'z' ? C - 32 : C;
}

// One mask piece, with how the reference treats it.
struct Piece {
    const char* Text;
    enum { Star, Any, OneChar } Type;
    std::function<bool(unsigned char)> Accepts; // for OneChar
};

const std::vector<Piece>& Pieces() {
    static const std::vector<Piece> All = {
        {"a", Piece::OneChar, [](unsigned char C) { return Upper(C) == 'A'; }},
        {"b", Piece::OneChar, [](unsigned char C) { return Upper(C) == 'B'; }},
        {"A", Piece::OneChar, [](unsigned char C) { return Upper(C) == 'A'; }},
        {".", Piece::OneChar, [](unsigned char C) { return C == '.'; }},
        {"*", Piece::Star, nullptr},
        {"?", Piece::Any, nullptr},
        {"[ab]", Piece::OneChar,
         [](unsigned char C) { return Upper(C) == 'A' || Upper(C) == 'B'; }},
        {"[!a]", Piece::OneChar, [](unsigned char C) { return Upper(C) != 'A'; }},
        {"[a-b]", Piece::OneChar,
         [](unsigned char C) { return Upper(C) == 'A' || Upper(C) == 'B'; }},
        {"[!.-b]", Piece::OneChar,
         [](unsigned char C) { return !(Upper(C) >= '.' && Upper(C) <= 'B'); }},
    };
    return All;
}

// Whether Text matches the pieces: a star takes any run, a "?" one character,
// and a "?" that follows a star (with only stars and dropped "?" between) is
// dropped. Filled from the end: Tail[i][j] tells whether pieces i.. match text j..
bool ReferenceMatch(const std::vector<const Piece*>& Mask, const std::string& Text) {
    std::vector<const Piece*> Kept;
    bool AfterStar = false;
    for (const Piece* P : Mask) {
        if (P->Type == Piece::Any && AfterStar)
            continue;
        AfterStar = P->Type == Piece::Star;
        Kept.push_back(P);
    }
    const std::size_t M = Kept.size(), N = Text.size();
    std::vector<std::vector<char>> Tail(M + 1, std::vector<char>(N + 1, 0));
    Tail[M][N] = 1;
    for (std::size_t I = M; I-- > 0;) {
        for (std::size_t J = N + 1; J-- > 0;) {
            const Piece& P = *Kept[I];
            bool R = false;
            if (P.Type == Piece::Star)
                R = Tail[I + 1][J] || (J < N && Tail[I][J + 1]);
            else if (J < N)
                R = (P.Type == Piece::Any || P.Accepts(static_cast<unsigned char>(Text[J]))) &&
                    Tail[I + 1][J + 1];
            Tail[I][J] = R;
        }
    }
    return Tail[0][0];
}

} // namespace

TEST(MasksPropertyTest, AgreesWithReferenceMatcher) {
    std::mt19937 Random(20240611);
    const std::string TextAlphabet = "aAbB.c-";
    const std::vector<Piece>& All = Pieces();
    int Pairs = 0, Matches = 0;
    for (int MaskNo = 0; MaskNo < 12000; ++MaskNo) {
        // Mostly short masks; now and then long ones that outgrow the inline space.
        const int PieceCount = MaskNo % 16 == 0 ? 24 + Random() % 24 : Random() % 9;
        std::vector<const Piece*> Mask;
        std::string MaskText;
        for (int I = 0; I < PieceCount; ++I) {
            // Stars more often than the rest, so star groups interact.
            const Piece* P = Random() % 4 == 0 ? &All[4] : &All[Random() % All.size()];
            Mask.push_back(P);
            MaskText += P->Text;
        }
        const TMask Compiled(MaskText);
        for (int T = 0; T < 10; ++T) {
            std::string Text;
            const int TextLength = PieceCount > 12 ? Random() % 40 : Random() % 12;
            for (int I = 0; I < TextLength; ++I)
                Text += TextAlphabet[Random() % TextAlphabet.size()];
            const bool Expected = ReferenceMatch(Mask, Text);
            ASSERT_EQ(Compiled.Matches(Text), Expected)
                << "mask '" << MaskText << "' text '" << Text << "'";
            ASSERT_EQ(MatchWildcard(Text, MaskText), Expected);
            ++Pairs;
            Matches += Expected;
        }
    }
    EXPECT_GE(Pairs, 100000);
    // Both outcomes must be well represented, or the comparison proves little.
    EXPECT_GT(Matches, Pairs / 20);
    EXPECT_LT(Matches, Pairs - Pairs / 20);
}

namespace {

// The case pairs of the mixed alphabet, written out rather than taken from the
// folding table under test; final sigma folds to sigma.
char32_t ReferenceFold(char32_t C) {
    static const std::map<char32_t, char32_t> Lower = {
        {U'A', U'a'},           {U'\u00c9', U'\u00e9'}, {U'\u03a3', U'\u03c3'},
        {U'\u03c2', U'\u03c3'}, {U'\u0414', U'\u0434'}, {U'\u0401', U'\u0451'},
        {U'\u03a9', U'\u03c9'}, {U'\u00c0', U'\u00e0'},
    };
    const auto Found = Lower.find(C);
    return Found == Lower.end() ? C : Found->second;
}

struct WidePiece {
    const char* Text; // UTF-8
    enum { Star, Any, OneChar } Type;
    std::function<bool(char32_t)> Accepts; // of the folded character, for OneChar
};

std::function<bool(char32_t)> Is(char32_t Letter) {
    return [Letter](char32_t C) { return C == ReferenceFold(Letter); };
}

std::function<bool(char32_t)> Within(char32_t First, char32_t Last, bool Negated = false) {
    return [=](char32_t C) { return (C >= First && C <= Last) != Negated; };
}

const std::vector<WidePiece>& WidePieces() {
    static const std::vector<WidePiece> All = {
        {"*", WidePiece::Star, nullptr},
        {"?", WidePiece::Any, nullptr},
        {"a", WidePiece::OneChar, Is(U'a')},
        {"\u00e9", WidePiece::OneChar, Is(U'\u00e9')},
        {"\u00c9", WidePiece::OneChar, Is(U'\u00e9')},
        {"\u03c3", WidePiece::OneChar, Is(U'\u03c3')},
        {"\u03a3", WidePiece::OneChar, Is(U'\u03c3')},
        {"\u03c2", WidePiece::OneChar, Is(U'\u03c3')},
        {"\u0434", WidePiece::OneChar, Is(U'\u0434')},
        {"\u0401", WidePiece::OneChar, Is(U'\u0451')},
        {"[\u00e9\u0414]", WidePiece::OneChar,
         [](char32_t C) { return C == U'\u00e9' || C == U'\u0434'; }},
        {"[!\u03c3]", WidePiece::OneChar, [](char32_t C) { return C != U'\u03c3'; }},
        {"[\u0430-\u044f]", WidePiece::OneChar, Within(0x430, 0x44F)}, // \u0451 lies outside
        {"[\u0391-\u03a9]", WidePiece::OneChar, Within(0x3B1, 0x3C9)}, // capitals fold to small
        {"[!\u00c0-\u00de]", WidePiece::OneChar, Within(0xE0, 0xFE, true)},
    };
    return All;
}

bool WideReferenceMatch(const std::vector<const WidePiece*>& Mask, const std::u32string& Text) {
    std::vector<const WidePiece*> Kept;
    bool AfterStar = false;
    for (const WidePiece* P : Mask) {
        if (P->Type == WidePiece::Any && AfterStar)
            continue;
        AfterStar = P->Type == WidePiece::Star;
        Kept.push_back(P);
    }
    const std::size_t M = Kept.size(), N = Text.size();
    std::vector<std::vector<char>> Tail(M + 1, std::vector<char>(N + 1, 0));
    Tail[M][N] = 1;
    for (std::size_t I = M; I-- > 0;)
        for (std::size_t J = N + 1; J-- > 0;) {
            const WidePiece& P = *Kept[I];
            if (P.Type == WidePiece::Star)
                Tail[I][J] = Tail[I + 1][J] || (J < N && Tail[I][J + 1]);
            else
                Tail[I][J] = J < N &&
                             (P.Type == WidePiece::Any || P.Accepts(ReferenceFold(Text[J]))) &&
                             Tail[I + 1][J + 1];
        }
    return Tail[0][0];
}

} // namespace

TEST(MasksPropertyTest, LettersOfEveryScriptAgreeWithReferenceMatcher) {
    std::mt19937 Random(20261209);
    const std::u32string Alphabet = U"aA\u00e9\u00c9\u00e0\u00c0\u03c3\u03a3\u03c2\u03c9\u03a9"
                                    U"\u0434\u0414\u0451\u0401.x";
    const std::vector<WidePiece>& All = WidePieces();
    int Pairs = 0, Matches = 0;
    for (int MaskNo = 0; MaskNo < 8000; ++MaskNo) {
        const int PieceCount = MaskNo % 16 == 0 ? 24 + Random() % 24 : Random() % 8;
        std::vector<const WidePiece*> Mask;
        std::string MaskText;
        for (int I = 0; I < PieceCount; ++I) {
            const WidePiece* P = Random() % 4 == 0 ? &All[0] : &All[Random() % All.size()];
            Mask.push_back(P);
            MaskText += P->Text;
        }
        const TMask Compiled(MaskText);
        for (int T = 0; T < 10; ++T) {
            std::u32string Text;
            const int TextLength = PieceCount > 12 ? Random() % 40 : Random() % 10;
            for (int I = 0; I < TextLength; ++I)
                Text += Alphabet[Random() % Alphabet.size()];
            std::string Utf8Text;
            for (char32_t C : Text)
                AppendUtf8(Utf8Text, C);
            const bool Expected = WideReferenceMatch(Mask, Text);
            ASSERT_EQ(Compiled.Matches(Utf8Text), Expected)
                << "mask '" << MaskText << "' text '" << Utf8Text << "'";
            ++Pairs;
            Matches += Expected;
        }
    }
    EXPECT_GE(Pairs, 80000);
    EXPECT_GT(Matches, Pairs / 20);
    EXPECT_LT(Matches, Pairs - Pairs / 20);
}
