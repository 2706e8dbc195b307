// The two Unicode decoders every reader uses: UTF-8 made valid and UTF-16 of
// either byte order, both appended or returned as UTF-8.
#pragma once

#include <string>
#include <string_view>

// Whether a text is cut: a value longer than what was read of it loses the
// character that the cut split instead of showing it as a bad one.
enum class TCut { Whole, Cut };

// Valid UTF-8 from Raw: bad sequences become U+FFFD; a sequence left open at
// the end is dropped when Raw was Cut.
std::string Utf8FromUtf8(std::string_view Raw, TCut Cut);

// How one UTF-16 text is read.
struct TUtf16Read {
    bool BigEndian = false;
    // Ends the text at its first NUL character; otherwise NULs are kept (in
    // ID3v2 they separate values).
    bool StopAtNul = true;
    // Drops a byte-order mark U+FEFF at the start of each value; with
    // MarkSetsOrder a swapped mark also switches the byte order from there on.
    bool SkipMarks = false;
    bool MarkSetsOrder = false;
    // A high surrogate left open at the end is dropped when the text was Cut
    // and becomes U+FFFD when it was Whole. An odd last byte is always dropped.
    TCut Cut = TCut::Whole;
};

// UTF-16 code units appended as UTF-8; unpaired surrogates become U+FFFD.
void AppendUtf16(std::string& Out, std::string_view Raw, const TUtf16Read& How);

// UTF-8 from UTF-16 up to the first NUL.
std::string Utf8FromUtf16(std::string_view Raw, bool BigEndian, TCut Cut);
