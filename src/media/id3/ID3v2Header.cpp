// The ID3v2 tag header (see ID3v2Header.h).
#include "media/id3/ID3v2Header.h"

#include "media/toolkit/Bytes.h"
#include "media/toolkit/MediaFile.h"

#include <cstring>

bool ParseID3v2Header(const unsigned char* Bytes, TID3v2Header& Header) {
    if (std::memcmp(Bytes, "ID3", 3) != 0)
        return false;
    Header.MajorVersion = Bytes[3];
    Header.Revision = Bytes[4];
    Header.Flags = Bytes[5];
    Header.BodySize = SyncSafe32(Bytes + 6);
    return true;
}

bool ReadID3v2Header(TMediaFile& File, std::int64_t Position, TID3v2Header& Header) {
    const unsigned char* bytes = File.Bytes(Position, TID3v2Header::Size);
    return bytes && ParseID3v2Header(bytes, Header);
}
