// Reading and writing UTF-8 one code point at a time: what the tag decoder,
// the masks and the folder order share.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The code point of the well-formed UTF-8 sequence at Text[Position], whose
// length goes to Length; 0 (and Length 0) when no well-formed sequence starts
// there: a stray continuation byte, an overlong form, a surrogate, a value past
// U+10FFFF or a sequence cut by the end of Text.
inline char32_t DecodeUtf8At(std::string_view Text, std::size_t Position, std::size_t& Length) {
    const auto Byte = [&](std::size_t I) { return static_cast<unsigned char>(Text[I]); };
    const std::size_t Left = Text.size() - Position;
    const unsigned char B0 = Byte(Position);
    Length = 0;
    if (B0 < 0x80) {
        Length = 1;
        return B0;
    }
    std::size_t Count;
    char32_t Value;
    char32_t Least;
    if (B0 >= 0xC2 && B0 <= 0xDF) {
        Count = 2, Value = B0 & 0x1F, Least = 0x80;
    } else if (B0 >= 0xE0 && B0 <= 0xEF) {
        Count = 3, Value = B0 & 0x0F, Least = 0x800;
    } else if (B0 >= 0xF0 && B0 <= 0xF4) {
        Count = 4, Value = B0 & 0x07, Least = 0x10000;
    } else {
        return 0;
    }
    if (Left < Count)
        return 0;
    for (std::size_t I = 1; I < Count; ++I) {
        const unsigned char B = Byte(Position + I);
        if ((B & 0xC0) != 0x80)
            return 0;
        Value = (Value << 6) | (B & 0x3F);
    }
    if (Value < Least || Value > 0x10FFFF || (Value >= 0xD800 && Value <= 0xDFFF))
        return 0;
    Length = Count;
    return Value;
}

// Whether Text[Position..] starts a UTF-8 sequence that the end of Text cut: a
// lead byte whose continuation bytes, as far as they go, are right.
inline bool CutUtf8At(std::string_view Text, std::size_t Position) {
    const auto B0 = static_cast<unsigned char>(Text[Position]);
    const std::size_t Count = B0 >= 0xF0 && B0 <= 0xF4   ? 4
                              : B0 >= 0xE0 && B0 <= 0xEF ? 3
                              : B0 >= 0xC2 && B0 <= 0xDF ? 2
                                                         : 0;
    if (Count == 0 || Text.size() - Position >= Count)
        return false;
    for (std::size_t I = Position + 1; I < Text.size(); ++I)
        if ((static_cast<unsigned char>(Text[I]) & 0xC0) != 0x80)
            return false;
    return true;
}

inline void AppendUtf8(std::string& Out, char32_t C) {
    if (C < 0x80) {
        Out.push_back(static_cast<char>(C));
    } else if (C < 0x800) {
        Out.push_back(static_cast<char>(0xC0 | (C >> 6)));
        Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
    } else if (C < 0x10000) {
        Out.push_back(static_cast<char>(0xE0 | (C >> 12)));
        Out.push_back(static_cast<char>(0x80 | ((C >> 6) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
    } else {
        Out.push_back(static_cast<char>(0xF0 | (C >> 18)));
        Out.push_back(static_cast<char>(0x80 | ((C >> 12) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | ((C >> 6) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
    }
}

inline bool IsValidUtf8(std::string_view Text) {
    std::size_t Length;
    for (std::size_t I = 0; I < Text.size(); I += Length)
        if (DecodeUtf8At(Text, I, Length), Length == 0)
            return false;
    return true;
}
