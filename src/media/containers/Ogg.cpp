// Ogg files of Vorbis, Opus or FLAC: the comment packet and the length from
// the last granule position.
#include "media/containers/ContainerReaders.h"
#include "media/toolkit/Bytes.h"
#include "media/toolkit/Duration.h"
#include "media/toolkit/MediaFile.h"

#include <algorithm>
#include <cstring>

namespace {

// Pages looked at for the header packets; a picture of a few megabytes in the
// comment spans about a hundred pages.
constexpr int MaxOggPages = 4096;

// The packets of the first logical stream of an Ogg file, read across pages
// through their segment tables.
class TOggPackets : public TByteSource {
public:
    explicit TOggPackets(TMediaFile& File) : file_(File) {}

    // Goes to the first packet of the first page.
    bool Start() { return LoadPage(0, true); }

    bool Read(unsigned char* Out, std::size_t Count) override { return Take(Out, Count); }
    bool Skip(std::uint64_t Count) override { return Take(nullptr, Count); }

    // Passes over what is left of the current packet and goes to the next one.
    bool NextPacket() {
        for (;;) {
            if (segment_ >= segmentCount_) {
                if (!Advance())
                    return false;
                continue;
            }
            const bool ends = segments_[segment_] < 255;
            if (!Advance())
                return false;
            if (ends)
                return true;
        }
    }

    std::uint32_t Serial() const { return serial_; }

private:
    // Moves to the next segment, on the next page of the stream when this
    // page has no more. Whether a page continues a packet is not checked: a
    // damaged stream gives wrong texts at worst, never a read outside the file.
    bool Advance() {
        if (segment_ + 1 < segmentCount_) {
            segmentStart_ += segments_[segment_];
            ++segment_;
            offset_ = 0;
            return true;
        }
        return LoadPage(bodyEnd_, false);
    }

    bool LoadPage(std::int64_t Position, bool First) {
        while (++pagesLoaded_ <= MaxOggPages) {
            const unsigned char* header = file_.Bytes(Position, 27);
            if (!header || std::memcmp(header, "OggS", 4) != 0 || header[4] != 0)
                return false;
            const std::uint32_t serial = LittleEndian32(header + 14);
            const unsigned count = header[26];
            const unsigned char* table = file_.Bytes(Position + 27, count);
            if (!table)
                return false;
            const std::int64_t body = Position + 27 + count;
            std::int64_t length = 0;
            for (unsigned i = 0; i < count; ++i)
                length += table[i];
            if (length > file_.Size() - body)
                return false;
            if (First)
                serial_ = serial;
            if (serial == serial_) {
                std::memcpy(segments_, table, count);
                segmentCount_ = count;
                segment_ = 0;
                offset_ = 0;
                segmentStart_ = body;
                bodyEnd_ = body + length;
                return true;
            }
            Position = body + length; // a page of another stream
        }
        return false;
    }

    // Reads (Out not null) or skips Count bytes of the current packet.
    bool Take(unsigned char* Out, std::uint64_t Count) {
        while (Count > 0) {
            if (segment_ >= segmentCount_) {
                if (!Advance())
                    return false;
                continue;
            }
            if (offset_ < segments_[segment_]) {
                const std::uint64_t step =
                    std::min<std::uint64_t>(Count, segments_[segment_] - offset_);
                if (Out) {
                    const unsigned char* bytes =
                        file_.Bytes(segmentStart_ + offset_, static_cast<std::size_t>(step));
                    if (!bytes)
                        return false;
                    std::memcpy(Out, bytes, step);
                    Out += step;
                }
                offset_ += static_cast<unsigned>(step);
                Count -= step;
                continue;
            }
            if (segments_[segment_] < 255 || !Advance())
                return false; // the packet ends here, or the file does
        }
        return true;
    }

    TMediaFile& file_;
    unsigned char segments_[255] = {};
    unsigned segmentCount_ = 0;
    unsigned segment_ = 0;
    unsigned offset_ = 0;           // bytes of the current segment used
    std::int64_t segmentStart_ = 0; // where the current segment starts in the file
    std::int64_t bodyEnd_ = 0;
    std::uint32_t serial_ = 0;
    int pagesLoaded_ = 0;
};

// The granule position of the last page of the stream Serial, looked for
// backwards from the end of the file over at most a few pages' bytes.
bool LastGranule(TMediaFile& File, std::uint32_t Serial, std::uint64_t& Granule) {
    constexpr std::int64_t chunk = TMediaFile::WindowCapacity;
    constexpr std::int64_t searched = 256 * 1024;
    const std::int64_t size = File.Size();
    for (std::int64_t end = size; end > 0 && size - end < searched; end -= chunk - 27) {
        const std::int64_t start = std::max<std::int64_t>(0, end - chunk);
        const unsigned char* bytes = File.Bytes(start, static_cast<std::size_t>(end - start));
        if (!bytes)
            return false;
        for (std::int64_t at = end - start - 4; at >= 0; --at) {
            const unsigned char* page = bytes + at;
            if (std::memcmp(page, "OggS", 4) != 0 || start + at + 27 > size)
                continue;
            const unsigned char* header = File.Bytes(start + at, 27);
            if (!header || header[4] != 0 || LittleEndian32(header + 14) != Serial)
                continue;
            const std::uint64_t granule = LittleEndian64(header + 6);
            if (granule == ~std::uint64_t{0})
                continue;
            Granule = granule;
            return true;
        }
        if (start == 0)
            break;
    }
    return false;
}

bool ClaimsOgg(TMediaFile&, const unsigned char* Head, std::size_t Size) {
    return Size >= 4 && std::memcmp(Head, "OggS", 4) == 0;
}

} // namespace

void ReadOgg(TMediaFile& File, TContainerRead& Read) {
    TOggPackets packets(File);
    unsigned char head[51] = {};
    if (!packets.Start())
        return;
    // The identification packet says the codec and its sample rate.
    enum { Vorbis, Opus, Flac } codec;
    std::uint64_t rate = 0, preSkip = 0;
    if (packets.Read(head, 30) && std::memcmp(head, "\x01vorbis", 7) == 0) {
        codec = Vorbis;
        rate = LittleEndian32(head + 12);
    } else if (std::memcmp(head, "OpusHead", 8) == 0) {
        codec = Opus;
        rate = 48000;
        preSkip = LittleEndian16(head + 10);
    } else if (std::memcmp(head,
                           "\x7F"
                           "FLAC",
                           5) == 0 &&
               packets.Read(head + 30, 21) && std::memcmp(head + 9, "fLaC", 4) == 0) {
        codec = Flac;
        rate = (static_cast<std::uint32_t>(head[27]) << 12) |
               (static_cast<std::uint32_t>(head[28]) << 4) | (head[29] >> 4);
    } else {
        return;
    }
    Read.Format = codec == Vorbis ? TContentFormat::Vorbis
                  : codec == Opus ? TContentFormat::Opus
                                  : TContentFormat::FLAC;
    // Opus' identification packet is 19 bytes: the 30 asked for run past it,
    // so the reads above are judged by the bytes they copied.
    const std::uint32_t serial = packets.Serial();

    if (Read.WantTags && packets.NextPacket()) {
        if (codec == Vorbis) {
            if (packets.Read(head, 7) && std::memcmp(head, "\x03vorbis", 7) == 0)
                ParseVorbisComment(packets, Read.Tags);
        } else if (codec == Opus) {
            if (packets.Read(head, 8) && std::memcmp(head, "OpusTags", 8) == 0)
                ParseVorbisComment(packets, Read.Tags);
        } else {
            // Each further packet is one metadata block; the comment is
            // usually the first of them.
            for (int blocks = 0; blocks < MaxFlacBlocks; ++blocks) {
                if (!packets.Read(head, 4))
                    break;
                if ((head[0] & 0x7F) == FlacCommentBlock) {
                    ParseVorbisComment(packets, Read.Tags);
                    break;
                }
                if ((head[0] & 0x80) || !packets.NextPacket())
                    break;
            }
        }
    }

    std::uint64_t granule;
    if (Read.WantDuration && LastGranule(File, serial, granule) && granule >= preSkip)
        Read.DurationMs = Milliseconds(granule - preSkip, rate);
}

const TContainerFormat OggFormat = {TAudioFormat::Ogg, ClaimsOgg, ReadOgg};
