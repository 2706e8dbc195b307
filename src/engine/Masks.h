// The wildcard mask language of filename masks and criteria: "*", "?", sets
// with ranges and "!", matched against a whole text with a-z folded.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// Message: "'<mask>' is an invalid mask at (<1-based position>)".
class EMaskException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    EMaskException(const std::string& Mask, int Position);

    // The 1-based position of the fault; 0 when built from a bare message.
    int Position() const { return position_; }

private:
    int position_ = 0;
};

// Texts and masks are byte strings and every byte is one character: the
// platform's character set is UTF-8, which has no double-byte lead bytes, so a
// multi-byte UTF-8 sequence is matched byte by byte (and "?" takes one byte).
class TMask {
public:
    // Compiles Mask; throws EMaskException for a malformed mask.
    explicit TMask(const std::string& Mask);

    // Whether the whole Text matches.
    bool Matches(const std::string& Text) const;

    // More than this many elements carrying a preceding "*" make a mask invalid.
    static constexpr int MaxStarGroups = 30;

private:
    enum Kind : std::uint8_t { Literal, AnyChar, Set, NegatedSet, EndOfText };

    struct Element {
        Kind Type;
        bool Skip;              // a "*" stood before it: it may be found further on
        std::uint8_t Char;      // the folded character of a literal
        std::uint32_t SetIndex; // of a set or negated set
    };

    // One bit for each of the 256 byte values; members are folded.
    struct CharSet {
        std::uint64_t Bits[4];
        bool Has(unsigned char C) const { return (Bits[C >> 6] >> (C & 63)) & 1u; }
    };

    // Short masks, which are nearly all of them, compile without touching the
    // heap: each comparison compiles its mask anew, once per file and field.
    static constexpr int InlineElementCount = 24;
    static constexpr int InlineSetCount = 3;

    void AddElement(const Element& E);
    std::uint32_t AddSet(const CharSet& S);
    const Element* Elements() const;
    const CharSet* Sets() const;
    bool Accepts(const Element& E, const unsigned char* Text, std::size_t Length,
                 std::size_t Position) const;

    Element inlineElements_[InlineElementCount];
    CharSet inlineSets_[InlineSetCount];
    std::vector<Element> heapElements_; // all elements, once past the inline space
    std::vector<CharSet> heapSets_;
    int elementCount_ = 0;
    int setCount_ = 0;
};

// Whether the whole Text matches Mask; throws EMaskException for a malformed mask.
bool MatchWildcard(const std::string& Text, const std::string& Mask);
