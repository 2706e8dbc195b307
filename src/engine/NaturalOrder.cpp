// Natural name order (see NaturalOrder.h).
#include "engine/NaturalOrder.h"

#include "engine/CaseFold.h"
#include "media/text/Utf8.h"

namespace {

bool IsDigit(char C) {
    return C >= '0' && C <= '9';
}

char32_t CharAt(std::string_view Text, std::size_t Position, std::size_t& Length) {
    const auto Byte = static_cast<unsigned char>(Text[Position]);
    if (Byte < 0x80) {
        Length = 1;
        return Byte;
    }
    const char32_t C = DecodeUtf8At(Text, Position, Length);
    if (Length != 0)
        return C;
    Length = 1;
    return Byte;
}

// The run of digits at Position, without its leading zeros; Position moves past it.
std::string_view DigitRun(std::string_view Text, std::size_t& Position) {
    const std::size_t Start = Position;
    while (Position < Text.size() && IsDigit(Text[Position]))
        ++Position;
    std::size_t First = Start;
    while (First + 1 < Position && Text[First] == '0')
        ++First;
    return Text.substr(First, Position - First);
}

} // namespace

int CompareNatural(std::string_view A, std::string_view B) {
    std::size_t I = 0, J = 0;
    while (I < A.size() && J < B.size()) {
        if (IsDigit(A[I]) && IsDigit(B[J])) {
            const std::string_view RunA = DigitRun(A, I), RunB = DigitRun(B, J);
            // Without leading zeros, the longer run is the larger number.
            if (RunA.size() != RunB.size())
                return RunA.size() < RunB.size() ? -1 : 1;
            if (const int Digits = RunA.compare(RunB); Digits != 0)
                return Digits;
            continue;
        }
        std::size_t LengthA, LengthB;
        const char32_t CharA = FoldCase(CharAt(A, I, LengthA));
        const char32_t CharB = FoldCase(CharAt(B, J, LengthB));
        if (CharA != CharB)
            return CharA < CharB ? -1 : 1;
        I += LengthA;
        J += LengthB;
    }
    if (I < A.size() || J < B.size())
        return I < A.size() ? 1 : -1;
    // Equal but for case or leading zeros: the bytes decide.
    return A.compare(B);
}
