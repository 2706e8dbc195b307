// Turning tag bytes into UTF-8 text: the legacy code page that text without a
// declared encoding is read in, and the encodings an ID3v2 text frame declares.
#pragma once

#include "model/CodePages.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

// One code page opened for the reads of one run (iconv is opened once, not per
// file). Used by one thread at a time: the compile worker owns its own, and
// each thread has a default one for Windows-1252 (DefaultTagDecoder).
class TTagDecoder {
public:
    // An unknown name, or one the C library cannot convert, reads as the default.
    explicit TTagDecoder(std::string_view CodePage = DefaultTagCodePage);
    ~TTagDecoder();
    TTagDecoder(const TTagDecoder&) = delete;
    TTagDecoder& operator=(const TTagDecoder&) = delete;

    const std::string& CodePage() const { return codePage_; }

    // Bytes read in the code page, appended as UTF-8. A character cut by the
    // end of Bytes is dropped; a byte that is no character becomes U+FFFD.
    void AppendCodePage(std::string& Out, std::string_view Bytes);
    // Tag text that declares no encoding (an ID3v1 field, an ID3v2 text with
    // encoding byte 0), appended as UTF-8. A Latin code page reads every such
    // text. Any other page reads only text that looks written in it: a run of
    // three or more bytes of 0x80 or above (two for the multi-byte pages), or
    // one of the bytes 0x81, 0x8D, 0x8F, 0x90, 0x9D that Windows-1252 leaves
    // undefined; the rest is read as Windows-1252, which taggers write for
    // Western text whatever the user's own code page.
    void AppendUndeclared(std::string& Out, std::string_view Bytes);
    // Whether AppendUndeclared reads Bytes in the code page.
    bool ReadsInCodePage(std::string_view Bytes) const;
    // Bytes as UTF-8 where they are well-formed, each other run read in the
    // code page; with DropCutTail, a UTF-8 sequence cut by the end is dropped.
    void AppendUtf8OrCodePage(std::string& Out, std::string_view Bytes, bool DropCutTail = false);
    std::string Utf8OrCodePage(std::string_view Bytes) {
        std::string Out;
        AppendUtf8OrCodePage(Out, Bytes);
        return Out;
    }

    // The character one byte stands for on its own (U+FFFD for a byte that
    // only starts a character of a multi-byte code page).
    char32_t ByteChar(unsigned char Byte) const { return byteChars_[Byte]; }
    const std::array<char32_t, 256>& ByteChars() const { return byteChars_; }

private:
    bool Open(std::string_view CodePage);

    std::string codePage_;
    // Whether the page writes a Latin script (it then reads all undeclared
    // text) and whether it has characters of two bytes.
    bool latin_ = true;
    bool multiByte_ = false;
    void* iconv_ = nullptr; // multi-byte code pages only; single-byte ones use byteChars_
    std::array<char32_t, 256> byteChars_{};
};

// This thread's decoder for the default code page, for reads that no run owns
// (files the user adds by hand).
TTagDecoder& DefaultTagDecoder();
// This thread's decoder for CodePage, opened on first use and again only when
// the code page changes: a run's threads each open theirs once.
TTagDecoder& ThreadTagDecoder(const std::string& CodePage);

// Trims the characters U+0000 to U+0020 from both ends of a UTF-8 text.
std::string_view TrimText(std::string_view Text);
