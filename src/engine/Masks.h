// The wildcard mask language of filename masks and criteria: "*", "?", sets
// with ranges and "!", matched against a whole text, character by character
// and without regard to case.
#pragma once

#include "media/text/TagDecoder.h"

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
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

// Masks and texts are UTF-8 and compared by character (code point): "?" and a
// set take one character, ranges run over code points, and letters of every
// script fold by Unicode simple case folding. A mask that is not UTF-8 (a
// hand-edited settings file) is read in the tag code page, and so is each
// byte of a text that is not UTF-8 (a file name in a legacy encoding).
class TMask {
public:
    // Compiles Mask; throws EMaskException for a malformed mask. The decoder
    // must outlive the mask: its byte table reads stray bytes of texts.
    explicit TMask(const std::string& Mask, TTagDecoder& Decoder = DefaultTagDecoder());

    // Whether the whole Text matches.
    bool Matches(std::string_view Text) const;

    // More than this many elements carrying a preceding "*" make a mask invalid.
    static constexpr int MaxStarGroups = 30;

private:
    enum Kind : std::uint8_t { Literal, AnyChar, Set, NegatedSet, EndOfText };

    struct Element {
        Kind Type;
        bool Skip;                // a "*" stood before it: it may be found further on
        std::uint32_t RangeCount; // of a set
        char32_t Char;            // the folded character of a literal; a set's first range
    };

    // Folded code points First to Last; a single member is a range of one.
    struct Range {
        char32_t First;
        char32_t Last;
    };

    // Short masks, which are nearly all of them, compile without touching the
    // heap: each comparison compiles its mask anew, once per file and field.
    static constexpr int InlineElementCount = 24;
    static constexpr int InlineRangeCount = 8;

    void AddElement(const Element& E);
    void AddRange(const Range& R);
    const Element* Elements() const;
    const Range* Ranges() const;
    char32_t CharAt(std::string_view Text, std::size_t Position, std::size_t& Length) const;
    bool Accepts(const Element& E, std::string_view Text, std::size_t Position,
                 std::size_t& Length) const;
    std::size_t Find(const Element& E, std::string_view Text, std::size_t Position) const;

    const std::array<char32_t, 256>* byteChars_;
    Element inlineElements_[InlineElementCount];
    Range inlineRanges_[InlineRangeCount];
    std::vector<Element> heapElements_; // all elements, once past the inline space
    std::vector<Range> heapRanges_;
    int elementCount_ = 0;
    int rangeCount_ = 0;
};

// Whether the whole Text matches Mask; throws EMaskException for a malformed
// mask. Bytes that are not UTF-8 are read in Decoder's code page.
bool MatchWildcard(std::string_view Text, const std::string& Mask,
                   TTagDecoder& Decoder = DefaultTagDecoder());
