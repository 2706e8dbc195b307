#include "model/MessageText.h"

namespace {

// The length of the valid UTF-8 sequence at Text[At], or 0.
std::size_t Utf8SequenceLength(std::string_view Text, std::size_t At) {
    const auto Byte = [&](std::size_t I) { return static_cast<unsigned char>(Text[I]); };
    const unsigned char Lead = Byte(At);
    std::size_t Length = 0;
    char32_t Code = 0;
    if (Lead >= 0xC2 && Lead <= 0xDF) {
        Length = 2;
        Code = Lead & 0x1F;
    } else if (Lead >= 0xE0 && Lead <= 0xEF) {
        Length = 3;
        Code = Lead & 0x0F;
    } else if (Lead >= 0xF0 && Lead <= 0xF4) {
        Length = 4;
        Code = Lead & 0x07;
    } else {
        return 0;
    }
    if (Text.size() - At < Length)
        return 0;
    for (std::size_t I = 1; I < Length; ++I) {
        if ((Byte(At + I) & 0xC0) != 0x80)
            return 0;
        Code = (Code << 6) | (Byte(At + I) & 0x3F);
    }
    const bool Overlong = (Length == 3 && Code < 0x800) || (Length == 4 && Code < 0x10000);
    const bool Surrogate = Code >= 0xD800 && Code <= 0xDFFF;
    // C1 controls, and the characters that break a line or turn the direction
    // of what follows (U+2028-U+202E, U+2066-U+2069, the marks U+200E, U+200F, U+061C).
    const bool Control = (Code >= 0x80 && Code <= 0x9F) || (Code >= 0x2028 && Code <= 0x202E) ||
                         (Code >= 0x2066 && Code <= 0x2069) || Code == 0x200E || Code == 0x200F ||
                         Code == 0x061C;
    if (Overlong || Surrogate || Control || Code > 0x10FFFF)
        return 0;
    return Length;
}

} // namespace

std::string QuoteForMessage(std::string_view Text, std::size_t MaxCharacters) {
    static const char Digits[] = "0123456789ABCDEF";
    std::string Out;
    std::size_t Characters = 0;
    std::size_t At = 0;
    while (At < Text.size()) {
        if (Characters == MaxCharacters)
            return Out + "...";
        const unsigned char Byte = static_cast<unsigned char>(Text[At]);
        if (Byte >= 0x20 && Byte < 0x7F) {
            Out += static_cast<char>(Byte);
            ++At;
        } else if (const std::size_t Length = Byte >= 0x80 ? Utf8SequenceLength(Text, At) : 0) {
            Out.append(Text.substr(At, Length));
            At += Length;
        } else {
            Out += "\\x";
            Out += Digits[Byte >> 4];
            Out += Digits[Byte & 0x0F];
            ++At;
        }
        ++Characters;
    }
    return Out;
}
