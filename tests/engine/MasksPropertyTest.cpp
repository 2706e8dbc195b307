// Random masks and texts: the mask matcher against a plain table-filling matcher
// written from the language's rules, over a small alphabet that makes hits likely.
#include "engine/Masks.h"

#include <gtest/gtest.h>

#include <functional>
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
