// Compiling a wildcard mask into elements and matching a whole text against them.
#include "engine/Masks.h"

#include "engine/CaseFold.h"
#include "media/text/Utf8.h"

#include <cstring>

namespace {

// Unicode simple case folding, with the Latin letters represented by A-Z:
// ranges between letters and the other ASCII characters keep the code points
// they always had ("[a-]]" runs from A to "]", "[A-z]" from A to Z).
char32_t MaskFold(char32_t C) {
    C = FoldCase(C);
    return C >= 'a' && C <= 'z' ? C - 32 : C;
}

} // namespace

EMaskException::EMaskException(const std::string& Mask, int Position)
    : std::runtime_error("'" + Mask + "' is an invalid mask at (" + std::to_string(Position) + ")"),
      position_(Position) {}

void TMask::AddElement(const Element& E) {
    if (heapElements_.empty() && elementCount_ < InlineElementCount) {
        inlineElements_[elementCount_++] = E;
        return;
    }
    if (heapElements_.empty())
        heapElements_.assign(inlineElements_, inlineElements_ + elementCount_);
    heapElements_.push_back(E);
    ++elementCount_;
}

void TMask::AddRange(const Range& R) {
    if (heapRanges_.empty() && rangeCount_ < InlineRangeCount) {
        inlineRanges_[rangeCount_++] = R;
        return;
    }
    if (heapRanges_.empty())
        heapRanges_.assign(inlineRanges_, inlineRanges_ + rangeCount_);
    heapRanges_.push_back(R);
    ++rangeCount_;
}

const TMask::Element* TMask::Elements() const {
    return heapElements_.empty() ? inlineElements_ : heapElements_.data();
}

const TMask::Range* TMask::Ranges() const {
    return heapRanges_.empty() ? inlineRanges_ : heapRanges_.data();
}

TMask::TMask(const std::string& MaskBytes, TTagDecoder& Decoder)
    : byteChars_(&Decoder.ByteChars()) {
    std::string Decoded;
    if (!IsValidUtf8(MaskBytes))
        Decoded = Decoder.Utf8OrCodePage(MaskBytes);
    const std::string& Mask = Decoded.empty() ? MaskBytes : Decoded;

    // The mask as code points, so that positions count characters.
    char32_t InlineChars[128];
    std::vector<char32_t> HeapChars;
    char32_t* Chars = InlineChars;
    if (Mask.size() > std::size(InlineChars)) {
        HeapChars.resize(Mask.size());
        Chars = HeapChars.data();
    }
    std::size_t Length = 0;
    for (std::size_t P = 0, CharLength; P < Mask.size(); P += CharLength)
        Chars[Length++] = DecodeUtf8At(Mask, P, CharLength);

    const auto Invalid = [&](std::size_t Position) {
        return EMaskException(Mask, static_cast<int>(Position));
    };

    bool SkipPending = false;
    int StarGroups = 0;
    // Appends E; Position is the 1-based position of the element's last character.
    const auto Append = [&](Element E, std::size_t Position) {
        E.Skip = SkipPending;
        if (SkipPending && ++StarGroups > MaxStarGroups)
            throw Invalid(Position);
        SkipPending = false;
        AddElement(E);
    };

    std::size_t I = 0;
    while (I < Length) {
        const char32_t C = Chars[I];
        if (C == '*') {
            SkipPending = true;
            ++I;
        } else if (C == '?') {
            // After a "*" the "?" is dropped, so "*?" also matches the empty text.
            if (!SkipPending)
                Append({AnyChar, false, 0, 0}, I + 1);
            ++I;
        } else if (C == '[') {
            std::size_t K = I + 1;
            bool Negated = false;
            if (K < Length && Chars[K] == '!') {
                Negated = true;
                ++K;
            }
            const auto FirstRange = static_cast<char32_t>(rangeCount_);
            bool HaveStart = false;
            char32_t Start = 0;
            for (;;) {
                if (K >= Length)
                    throw Invalid(Length + 1);
                const char32_t M = Chars[K];
                if (M == ']')
                    break;
                if (M == '-') {
                    if (!HaveStart)
                        throw Invalid(K + 1);
                    if (K + 1 >= Length)
                        throw Invalid(Length + 1);
                    // The end may be "]": right after "-" it cannot close the set.
                    const char32_t End = MaskFold(Chars[K + 1]);
                    if (Start <= End)
                        AddRange({Start, End});
                    K += 2;
                    continue;
                }
                Start = MaskFold(M);
                HaveStart = true;
                // A character opening a range is a member only through that range,
                // so a backward range such as "z-a" leaves nothing behind.
                if (K + 1 >= Length || Chars[K + 1] != '-')
                    AddRange({Start, Start});
                ++K;
            }
            const auto Count = static_cast<std::uint32_t>(rangeCount_ - FirstRange);
            if (Count == 0)
                throw Invalid(K + 1);
            Append({Negated ? NegatedSet : Set, false, Count, FirstRange}, K + 1);
            I = K + 1;
        } else {
            Append({Literal, false, 0, MaskFold(C)}, I + 1);
            ++I;
        }
    }
    Append({EndOfText, false, 0, 0}, Length + 1);
}

// The character at Position: UTF-8 where well-formed, else the byte read in
// the code page.
char32_t TMask::CharAt(std::string_view Text, std::size_t Position, std::size_t& Length) const {
    const auto Byte = static_cast<unsigned char>(Text[Position]);
    if (Byte < 0x80) {
        Length = 1;
        return Byte;
    }
    const char32_t C = DecodeUtf8At(Text, Position, Length);
    if (Length != 0)
        return C;
    Length = 1;
    return (*byteChars_)[Byte];
}

bool TMask::Accepts(const Element& E, std::string_view Text, std::size_t Position,
                    std::size_t& Length) const {
    if (Position >= Text.size())
        return E.Type == EndOfText;
    const char32_t C = CharAt(Text, Position, Length);
    if (E.Type == AnyChar)
        return true;
    const char32_t Folded = MaskFold(C);
    switch (E.Type) {
    case Literal:
        return Folded == E.Char;
    case Set:
    case NegatedSet: {
        bool Member = false;
        const Range* R = Ranges() + E.Char;
        for (std::uint32_t N = 0; N < E.RangeCount && !Member; ++N)
            Member = Folded >= R[N].First && Folded <= R[N].Last;
        return Member == (E.Type == Set);
    }
    default:
        return false;
    }
}

// The first position from Position on where E accepts a character; the end
// of the text when there is none.
std::size_t TMask::Find(const Element& E, std::string_view Text, std::size_t Position) const {
    const std::size_t Size = Text.size();
    const auto Byte = [&](std::size_t I) { return static_cast<unsigned char>(Text[I]); };
    std::size_t Length;
    if (E.Type == Literal && E.Char < 0x80) {
        const bool Letter = E.Char >= 'A' && E.Char <= 'Z';
        if (!Letter) {
            // Only ASCII folds to an ASCII character that is no letter, and
            // ASCII bytes stand only for themselves in UTF-8.
            const void* Found =
                Position < Size
                    ? std::memchr(Text.data() + Position, static_cast<int>(E.Char), Size - Position)
                    : nullptr;
            return Found ? static_cast<std::size_t>(static_cast<const char*>(Found) - Text.data())
                         : Size;
        }
        const auto Lower = static_cast<unsigned char>(E.Char + 32);
        for (; Position < Size; ++Position) {
            const unsigned char B = Byte(Position);
            if (B == E.Char || B == Lower)
                return Position;
            // Such as the Kelvin sign, which folds to k.
            if (B >= 0xC0 && Accepts(E, Text, Position, Length))
                return Position;
        }
        return Size;
    }
    while (Position < Size && !Accepts(E, Text, Position, Length))
        Position += Length;
    return Position;
}

// Every element but a star takes exactly one character, so the part of the mask
// between two stars fits a fixed number of characters. Once a star group has been
// placed at the earliest position where its element fits, placing an earlier
// group further on can only reach that star later, and a star that starts later
// can do no more than one that starts earlier. So when the latest star group
// runs out of places the text cannot match, and one pending alternative (that of
// the latest star group) keeps the search complete while staying within
// (text length x element count) steps.
bool TMask::Matches(std::string_view Text) const {
    const Element* List = Elements();
    std::size_t Position = 0;
    int Index = 0;
    bool HaveAlternative = false;
    std::size_t AlternativePosition = 0;
    int AlternativeIndex = 0;
    for (;;) {
        const Element& E = List[Index];
        if (E.Skip) {
            Position = Find(E, Text, Position);
            HaveAlternative = Position < Text.size();
            if (HaveAlternative) {
                std::size_t Length;
                CharAt(Text, Position, Length);
                AlternativePosition = Position + Length;
                AlternativeIndex = Index;
            }
        }
        std::size_t Length = 0;
        if (Accepts(E, Text, Position, Length)) {
            if (E.Type == EndOfText)
                return true;
            Position += Length;
            ++Index;
            continue;
        }
        if (!HaveAlternative)
            return false;
        Position = AlternativePosition;
        Index = AlternativeIndex;
        HaveAlternative = false;
    }
}

bool MatchWildcard(std::string_view Text, const std::string& Mask, TTagDecoder& Decoder) {
    return TMask(Mask, Decoder).Matches(Text);
}
