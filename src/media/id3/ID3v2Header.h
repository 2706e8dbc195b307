// The 10-byte header that starts an ID3v2 tag, read in one place for every
// reader that meets one: the tag reader, the format detection (a FLAC stream
// may sit behind a tag) and the MPEG length (the first frame follows the tag).
#pragma once

#include <cstdint>

class TMediaFile;

struct TID3v2Header {
    static constexpr std::int64_t Size = 10;
    static constexpr std::uint8_t UnsynchronisationFlag = 0x80;
    static constexpr std::uint8_t ExtendedHeaderFlag = 0x40;
    static constexpr std::uint8_t FooterFlag = 0x10;

    std::uint8_t MajorVersion = 0;
    std::uint8_t Revision = 0;
    std::uint8_t Flags = 0;
    // The sync-safe size after the header: frames, padding and an extended
    // header, not the header nor a footer.
    std::uint32_t BodySize = 0;

    // Header, body and footer: where a tag that starts at 0 ends. At most
    // 255 * 2113665 + 20, so it fits 32 bits.
    std::int64_t TagSize() const { return Size + BodySize + ((Flags & FooterFlag) ? Size : 0); }
};

// Whether the 10 bytes at Bytes begin a tag ("ID3"); fills Header when they do.
bool ParseID3v2Header(const unsigned char* Bytes, TID3v2Header& Header);
// The header at Position of File; false when there is none or it cannot be read.
bool ReadID3v2Header(TMediaFile& File, std::int64_t Position, TID3v2Header& Header);
