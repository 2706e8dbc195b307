// Compiling a wildcard mask into elements and matching a whole text against them.
#include "engine/Masks.h"

#include <array>
#include <cstring>

namespace {

// Only a-z fold: every other byte, including the upper half, compares exactly.
constexpr std::array<unsigned char, 256> MakeFoldTable() {
    std::array<unsigned char, 256> Table{};
    for (int C = 0; C < 256; ++C)
        Table[C] = static_cast<unsigned char>(C >= 'a' && C <= 'z' ? C - 'a' + 'A' : C);
    return Table;
}

constexpr std::array<unsigned char, 256> Fold = MakeFoldTable();

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

std::uint32_t TMask::AddSet(const CharSet& S) {
    if (heapSets_.empty() && setCount_ < InlineSetCount) {
        inlineSets_[setCount_] = S;
        return static_cast<std::uint32_t>(setCount_++);
    }
    if (heapSets_.empty())
        heapSets_.assign(inlineSets_, inlineSets_ + setCount_);
    heapSets_.push_back(S);
    return static_cast<std::uint32_t>(setCount_++);
}

const TMask::Element* TMask::Elements() const {
    return heapElements_.empty() ? inlineElements_ : heapElements_.data();
}

const TMask::CharSet* TMask::Sets() const {
    return heapSets_.empty() ? inlineSets_ : heapSets_.data();
}

TMask::TMask(const std::string& Mask) {
    const std::size_t Length = Mask.size();
    const auto At = [&](std::size_t I) { return static_cast<unsigned char>(Mask[I]); };
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
        const unsigned char C = At(I);
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
            if (K < Length && At(K) == '!') {
                Negated = true;
                ++K;
            }
            CharSet Members{};
            bool HaveStart = false;
            unsigned char Start = 0;
            for (;;) {
                if (K >= Length)
                    throw Invalid(Length + 1);
                const unsigned char M = At(K);
                if (M == ']')
                    break;
                if (M == '-') {
                    if (!HaveStart)
                        throw Invalid(K + 1);
                    if (K + 1 >= Length)
                        throw Invalid(Length + 1);
                    // The end may be "]": right after "-" it cannot close the set.
                    const unsigned char End = Fold[At(K + 1)];
                    for (unsigned Member = Start; Member <= End; ++Member)
                        Members.Bits[Member >> 6] |= std::uint64_t{1} << (Member & 63);
                    K += 2;
                    continue;
                }
                Start = Fold[M];
                HaveStart = true;
                // A character opening a range is a member only through that range,
                // so a backward range such as "z-a" leaves nothing behind.
                if (K + 1 >= Length || At(K + 1) != '-')
                    Members.Bits[Start >> 6] |= std::uint64_t{1} << (Start & 63);
                ++K;
            }
            if ((Members.Bits[0] | Members.Bits[1] | Members.Bits[2] | Members.Bits[3]) == 0)
                throw Invalid(K + 1);
            const std::uint32_t Index = AddSet(Members);
            Append({Negated ? NegatedSet : Set, false, 0, Index}, K + 1);
            I = K + 1;
        } else {
            Append({Literal, false, Fold[C], 0}, I + 1);
            ++I;
        }
    }
    Append({EndOfText, false, 0, 0}, Length + 1);
}

bool TMask::Accepts(const Element& E, const unsigned char* Text, std::size_t Length,
                    std::size_t Position) const {
    if (Position >= Length)
        return E.Type == EndOfText;
    const unsigned char C = Fold[Text[Position]];
    switch (E.Type) {
    case Literal:
        return C == E.Char;
    case AnyChar:
        return true;
    case Set:
        return Sets()[E.SetIndex].Has(C);
    case NegatedSet:
        return !Sets()[E.SetIndex].Has(C);
    case EndOfText:
        return false;
    }
    return false;
}

// Every element but a star takes exactly one character, so the part of the mask
// between two stars fits a fixed number of characters. Once a star group has been
// placed at the earliest position where its element fits, placing an earlier
// group further on can only reach that star later, and a star that starts later
// can do no more than one that starts earlier. So when the latest star group
// runs out of places the text cannot match, and one pending alternative (that of
// the latest star group) keeps the search complete while staying within
// (text length x element count) steps.
bool TMask::Matches(const std::string& TextString) const {
    const auto* Text = reinterpret_cast<const unsigned char*>(TextString.data());
    const std::size_t Length = TextString.size();
    const Element* List = Elements();

    std::size_t Position = 0;
    int Index = 0;
    bool HaveAlternative = false;
    std::size_t AlternativePosition = 0;
    int AlternativeIndex = 0;
    for (;;) {
        const Element& E = List[Index];
        if (E.Skip) {
            if (E.Type == Literal && E.Char >= 'A' && E.Char <= 'Z') {
                const unsigned char Lower = static_cast<unsigned char>(E.Char - 'A' + 'a');
                while (Position < Length && Text[Position] != E.Char && Text[Position] != Lower)
                    ++Position;
            } else if (E.Type == Literal) {
                const void* Found = Position < Length
                                        ? std::memchr(Text + Position, E.Char, Length - Position)
                                        : nullptr;
                Position = Found ? static_cast<const unsigned char*>(Found) - Text : Length;
            } else {
                while (Position < Length && !Accepts(E, Text, Length, Position))
                    ++Position;
            }
            HaveAlternative = Position < Length;
            AlternativePosition = Position + 1;
            AlternativeIndex = Index;
        }
        if (Accepts(E, Text, Length, Position)) {
            if (E.Type == EndOfText)
                return true;
            ++Position;
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

bool MatchWildcard(const std::string& Text, const std::string& Mask) {
    return TMask(Mask).Matches(Text);
}
