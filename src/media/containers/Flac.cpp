// FLAC files: the Vorbis comment block and the length from STREAMINFO.
#include "media/containers/ContainerReaders.h"
#include "media/id3/ID3v2Header.h"
#include "media/toolkit/Duration.h"
#include "media/toolkit/MediaFile.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr unsigned FlacStreamInfo = 0;

// The sample rate and sample count of a STREAMINFO block's 18 bytes from its
// tenth on.
void StreamInfoDuration(const unsigned char* Info, TContainerRead& Read) {
    const std::uint32_t rate = (static_cast<std::uint32_t>(Info[0]) << 12) |
                               (static_cast<std::uint32_t>(Info[1]) << 4) | (Info[2] >> 4);
    const std::uint64_t samples =
        (static_cast<std::uint64_t>(Info[3] & 0x0F) << 32) | BigEndian32(Info + 4);
    if (samples != 0)
        Read.DurationMs = Milliseconds(samples, rate);
}

// Where the "fLaC" marker is: at the start, or behind an ID3v2 tag that some
// taggers put before the stream; -1 when neither.
std::int64_t FlacStart(TMediaFile& File, const unsigned char* Head, std::size_t Size) {
    if (Size >= 4 && std::memcmp(Head, "fLaC", 4) == 0)
        return 0;
    TID3v2Header tag;
    if (Size < TID3v2Header::Size || !ParseID3v2Header(Head, tag))
        return -1;
    const unsigned char* flac = File.Bytes(tag.TagSize(), 4);
    return flac && std::memcmp(flac, "fLaC", 4) == 0 ? tag.TagSize() : -1;
}

bool ClaimsFlac(TMediaFile& File, const unsigned char* Head, std::size_t Size) {
    return FlacStart(File, Head, Size) >= 0;
}

void ReadFlacFile(TMediaFile& File, TContainerRead& Read) {
    const std::size_t size = static_cast<std::size_t>(std::min<std::int64_t>(File.Size(), 16));
    const unsigned char* head = size > 0 ? File.Bytes(0, size) : nullptr;
    if (const std::int64_t start = head ? FlacStart(File, head, size) : -1; start >= 0) {
        Read.Format = TContentFormat::FLAC;
        ReadFlac(File, start, Read);
    }
}

} // namespace

void ReadFlac(TMediaFile& File, std::int64_t Start, TContainerRead& Read) {
    std::int64_t position = Start + 4;
    bool tagsDone = !Read.WantTags;
    bool durationDone = !Read.WantDuration;
    for (int blocks = 0; blocks < MaxFlacBlocks && !(tagsDone && durationDone); ++blocks) {
        const unsigned char* header = File.Bytes(position, 4);
        if (!header)
            return;
        const bool last = header[0] & 0x80;
        const unsigned type = header[0] & 0x7F;
        const std::int64_t length = (static_cast<std::int64_t>(header[1]) << 16) |
                                    (static_cast<std::int64_t>(header[2]) << 8) | header[3];
        const std::int64_t data = position + 4;
        if (length > File.Size() - data)
            return;
        if (type == FlacStreamInfo && !durationDone && length >= 34) {
            if (const unsigned char* info = File.Bytes(data + 10, 8))
                StreamInfoDuration(info, Read);
            durationDone = true;
        } else if (type == FlacCommentBlock && !tagsDone) {
            TFileRange range(File, data, data + length);
            ParseVorbisComment(range, Read.Tags);
            tagsDone = true;
        }
        if (last)
            return;
        position = data + length;
    }
}

const TContainerFormat FlacFormat = {TAudioFormat::Flac, ClaimsFlac, ReadFlacFile};
