// Seeded randomized files through ReadMediaInfo: valid tags of every version,
// mutated, truncated and given random sizes, checked against a plain
// whole-file reading of the same rules and against the bounds those allow.
#include "media/MediaUtils.h"
#include "media/id3/ID3v1.h"
#include "media/id3/ID3v2.h"
#include "media/text/TagDecoder.h"
#include "media/text/Utf8.h"
#include "media/toolkit/MediaFile.h"
#include "support/AudioBytes.h"
#include "support/FramedTags.h"
#include "support/TagBytes.h"
#include "support/TempDir.h"

#include <algorithm>
#include <array>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <unistd.h>
#include <vector>
#include <zlib.h>

using namespace tagbytes;

namespace {

// The reference: the whole file in memory, every rule applied as plainly as
// it reads, with no read window and no shared descriptor. Text goes through
// code points; only the code page's byte table is the decoder's own.
std::string_view Trimmed(std::string_view Text) {
    while (!Text.empty() && static_cast<unsigned char>(Text.front()) <= 32)
        Text.remove_prefix(1);
    while (!Text.empty() && static_cast<unsigned char>(Text.back()) <= 32)
        Text.remove_suffix(1);
    return Text;
}

std::uint32_t Byte(const std::string& Bytes, std::size_t At) {
    return static_cast<unsigned char>(Bytes[At]);
}

std::u32string CodePage(std::string_view Bytes) {
    std::u32string out;
    for (char c : Bytes)
        out += DefaultTagDecoder().ByteChar(static_cast<unsigned char>(c));
    return out;
}

std::string Utf8(const std::u32string& Text) {
    std::string out;
    for (char32_t c : Text)
        AppendUtf8(out, c);
    return out;
}

// A text frame's data as code points, NUL characters kept.
std::u32string DecodeFrame(const std::string& Data, bool Cut) {
    if (Data.empty())
        return {};
    const int encoding = static_cast<unsigned char>(Data[0]);
    const std::string payload = Data.substr(1);
    std::u32string out;
    if (encoding == 0)
        return CodePage(payload);
    if (encoding > 3)
        return CodePage(Data);
    if (encoding == 3) {
        for (std::size_t i = 0; i < payload.size();) {
            std::size_t length;
            const char32_t c = DecodeUtf8At(payload, i, length);
            if (length == 0 && Cut && CutUtf8At(payload, i))
                break;
            out +=
                length ? c : DefaultTagDecoder().ByteChar(static_cast<unsigned char>(payload[i]));
            i += length ? length : 1;
        }
        return out;
    }
    std::vector<char32_t> units;
    bool big = encoding == 2;
    for (std::size_t i = 0; i + 1 < payload.size(); i += 2) {
        const char32_t unit = big ? Byte(payload, i) << 8 | Byte(payload, i + 1)
                                  : Byte(payload, i + 1) << 8 | Byte(payload, i);
        const bool start = units.empty() || units.back() == 0;
        if (start && unit == 0xFEFF)
            continue;
        if (start && unit == 0xFFFE && encoding == 1) {
            big = !big;
            continue;
        }
        units.push_back(unit);
    }
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char32_t unit = units[i];
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 == units.size())
                break; // cut
            if (units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
                out += 0x10000 + ((unit - 0xD800) << 10) + (units[++i] - 0xDC00);
                continue;
            }
        }
        out += unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit;
    }
    return out;
}

// A value as a field keeps it: trimmed, and cut to FieldTextSize bytes at
// the start of a character, then trimmed again.
std::string Bounded(std::string Value) {
    Value = std::string(Trimmed(Value));
    if (Value.size() > FieldTextSize) {
        std::size_t end = FieldTextSize;
        while (end > 0 && (Byte(Value, end) & 0xC0) == 0x80)
            --end;
        Value = std::string(Trimmed(Value.substr(0, end)));
    }
    return Value;
}

// The non-empty values of one frame: every NUL-separated one in version 4,
// the text up to the first NUL otherwise.
void FrameValues(const std::string& Data, bool Cut, int Version, bool Genre,
                 std::vector<std::string>& Values) {
    const std::u32string text = DecodeFrame(Data, Cut);
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t nul = std::min(text.find(U'\0', start), text.size());
        std::string value(Trimmed(Utf8(text.substr(start, nul - start))));
        if (!value.empty()) {
            value = Bounded(Genre ? GenreText(value) : value);
            if (!value.empty() && Values.size() < 64)
                Values.push_back(value);
        }
        start = nul + 1;
        if (Version != 4)
            break;
    }
}

std::uint64_t Number(const std::string& Bytes, std::size_t At, int Count, int Shift) {
    std::uint64_t value = 0;
    for (int i = 0; i < Count; ++i)
        value = (value << Shift) + Byte(Bytes, At + i);
    return value;
}

// Each 0x00 after a 0xFF taken out; Behind, when given, gets the position
// in Bytes just behind each byte kept.
std::string Resynchronised(const std::string& Bytes, std::size_t From,
                           std::vector<std::uint64_t>* Behind = nullptr) {
    std::string out;
    bool afterFF = false;
    for (std::size_t i = From; i < Bytes.size(); ++i) {
        const unsigned char b = Byte(Bytes, i);
        if (afterFF && b == 0)
            afterFF = false;
        else {
            afterFF = b == 0xFF;
            out += static_cast<char>(b);
            if (Behind)
                Behind->push_back(i + 1);
        }
    }
    return out;
}

// What a zlib stream inflates to, at most Limit + 1 bytes; false when it is
// found to be no zlib stream before that.
bool Inflated(const std::string& Data, std::size_t Limit, std::string& Out) {
    z_stream zip{};
    if (inflateInit(&zip) != Z_OK)
        return false;
    Out.assign(Limit + 1, '\0');
    zip.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Data.data()));
    zip.avail_in = static_cast<uInt>(Data.size());
    zip.next_out = reinterpret_cast<Bytef*>(Out.data());
    zip.avail_out = static_cast<uInt>(Out.size());
    const int result = inflate(&zip, Z_NO_FLUSH);
    Out.resize(Out.size() - zip.avail_out);
    inflateEnd(&zip);
    return result == Z_OK || result == Z_STREAM_END || result == Z_BUF_ERROR;
}

// Where a version 4 tag with a footer starts that ends the file, or ends it
// before an ID3v1 tag, an APEv2 tag or both; -1 when there is none.
std::int64_t AppendedStart(const std::string& Bytes) {
    std::int64_t end = static_cast<std::int64_t>(Bytes.size());
    if (end < 20)
        return -1;
    if (end >= 128 && Bytes.compare(end - 128, 3, "TAG") == 0)
        end -= 128;
    if (end >= 32 && Bytes.compare(end - 32, 8, "APETAGEX") == 0) {
        const std::size_t footer = end - 32;
        auto le32 = [&](std::size_t At) {
            return Byte(Bytes, At) | Byte(Bytes, At + 1) << 8 | Byte(Bytes, At + 2) << 16 |
                   std::uint64_t{Byte(Bytes, At + 3)} << 24;
        };
        const std::int64_t size = le32(footer + 12) + ((le32(footer + 20) >> 31) ? 32 : 0);
        if (size > end)
            return -1;
        end -= size;
    }
    if (end < 10 || Bytes.compare(end - 10, 3, "3DI") != 0)
        return -1;
    const std::int64_t start = end - 20 - static_cast<std::int64_t>(Number(Bytes, end - 4, 4, 7));
    if (start < 0 || Bytes.compare(start, 3, "ID3") != 0 || Bytes[start + 3] != 4)
        return -1;
    return start;
}

bool ReferenceV2(const std::string& Bytes, TMediaInfo& Info) {
    std::int64_t start = 0;
    if (Bytes.size() < 10)
        return false;
    if (Bytes.compare(0, 3, "ID3") != 0 && (start = AppendedStart(Bytes)) < 0)
        return false;
    Info = TMediaInfo{};
    const int version = Bytes[start + 3];
    const unsigned flags = Byte(Bytes, start + 5);
    if (version < 2 || version > 4)
        return true;
    const std::uint64_t framesEnd = start + 10 + Number(Bytes, start + 6, 4, 7);
    // The bytes after the header as the frames see them, and where in the
    // file the read stands behind each.
    const bool tagUnsynchronised = (flags & 0x80) && version != 4;
    std::vector<std::uint64_t> behind;
    const std::string tag =
        tagUnsynchronised ? Resynchronised(Bytes, start + 10, &behind) : Bytes.substr(start + 10);
    if (!tagUnsynchronised)
        for (std::size_t i = 0; i < tag.size(); ++i)
            behind.push_back(start + 10 + i + 1);
    auto filePosition = [&](std::size_t At) {
        return At == 0 ? static_cast<std::uint64_t>(start + 10) : behind[At - 1];
    };

    static const char* ids4[] = {"TIT2", "TPE1", "TALB", "TRCK", "TYER", "TCON",
                                 "TDRC", "TOPE", "TIT1", "TOAL", "TPE2", "TCOM"};
    static const char* ids2[] = {"TT2", "TP1", "TAL", "TRK", "TYE", "TCO",
                                 "TOR", "TOA", "TT1", "TOT", "TP2", "TCM"};
    constexpr int slots = 12;
    struct Kept {
        int Slot;
        std::string Data;
        bool Cut;
    };
    std::vector<Kept> frames;
    std::array<int, slots> framesOf{};
    std::size_t keptBytes = 0, at = 0;
    const std::size_t header = version == 2 ? 6 : 10;
    if (version != 2 && (flags & 0x40)) {
        if (tag.size() < 4)
            return true;
        const std::uint64_t size = version == 4 ? Number(tag, 0, 4, 7) : Number(tag, 0, 4, 8);
        if (version == 4 && size < 4)
            return true;
        at = 4 + (version == 4 ? size - 4 : size);
        if (at > tag.size())
            return true;
    }
    while (filePosition(at) < framesEnd && keptBytes < TagInfo::TagKeepSize) {
        if (at + header > tag.size() || tag[at] < 'A' || tag[at] > 'Z')
            break;
        const std::string id = tag.substr(at, version == 2 ? 3 : 4);
        const std::uint64_t size = version == 2   ? Number(tag, at + 3, 3, 8)
                                   : version == 3 ? Number(tag, at + 4, 4, 8)
                                                  : Number(tag, at + 4, 4, 7);
        const unsigned frameFlags = version == 2 ? 0 : Byte(tag, at + 9);
        at += header;
        std::size_t extra = 0;
        bool encrypted = false, compressed = false, unsynchronised = false;
        if (version == 4) {
            extra = (frameFlags & 0x40 ? 1 : 0) + (frameFlags & 0x04 ? 1 : 0) +
                    (frameFlags & 0x01 ? 4 : 0);
            encrypted = frameFlags & 0x04;
            compressed = frameFlags & 0x08;
            unsynchronised = (frameFlags & 0x02) || (flags & 0x80);
        } else if (version == 3) {
            extra = (frameFlags & 0x80 ? 4 : 0) + (frameFlags & 0x40 ? 1 : 0) +
                    (frameFlags & 0x20 ? 1 : 0);
            encrypted = frameFlags & 0x40;
            compressed = frameFlags & 0x80;
        }
        int slot = -1;
        for (int k = 0; k < slots; ++k)
            if (id == (version == 2 ? ids2 : ids4)[k])
                slot = k;
        const bool whole = size <= tag.size() - at;
        if (slot < 0 || encrypted || size < extra || framesOf[slot] >= 64) {
            if (!whole)
                break;
            at += size;
            continue;
        }
        std::string data = tag.substr(at, whole ? size : std::string::npos);
        at = whole ? at + size : tag.size();
        if (unsynchronised)
            data = Resynchronised(data, 0);
        data.erase(0, std::min(extra, data.size()));
        const std::size_t limit =
            std::min(TagInfo::FrameKeepSize, TagInfo::TagKeepSize - keptBytes);
        bool ok = true;
        if (compressed) {
            std::string out;
            ok = Inflated(data, limit, out);
            data = out;
        }
        const bool cut = data.size() > limit;
        if (cut)
            data.resize(limit);
        if (!whole)
            ok = ok && !compressed && cut;
        if (!ok)
            continue;
        ++framesOf[slot];
        keptBytes += data.size();
        frames.push_back({slot, data, cut});
    }
    auto values = [&](int Slot, bool Genre = false) {
        std::vector<std::string> found;
        for (const Kept& frame : frames)
            if (frame.Slot == Slot)
                FrameValues(frame.Data, frame.Cut, version, Genre, found);
        return found;
    };
    auto either = [&](int First, int Second) {
        const std::vector<std::string> found = values(First);
        return found.empty() ? values(Second) : found;
    };
    Info.SetValues(TMediaField::Title, either(0, 8));
    Info.SetValues(TMediaField::Artist, either(1, 7));
    Info.SetValues(TMediaField::Album, either(2, 9));
    Info.SetValues(TMediaField::Genre, values(5, true));
    Info.SetValues(TMediaField::AlbumArtist, values(10));
    Info.SetValues(TMediaField::Composer, values(11));
    const std::vector<std::string> tracks = values(3), years = values(4), times = values(6);
    Info.Track = tracks.empty() ? "" : tracks.front();
    if (!years.empty()) {
        Info.Year = years.front();
    } else if (!times.empty()) {
        const std::string& time = times.front();
        std::size_t end = 0;
        for (int n = 0; n < 4 && end < time.size(); ++n)
            for (++end; end < time.size() && (Byte(time, end) & 0xC0) == 0x80;)
                ++end;
        Info.Year = time.substr(0, end);
    }
    return true;
}

// A valid MPEG audio frame header at At: the sync bits, a version, a layer, a
// bit rate and a sample rate that are no reserved values.
bool MpegFrameAt(const std::string& Bytes, std::size_t At) {
    if (At + 4 > Bytes.size() || Byte(Bytes, At) != 0xFF || (Byte(Bytes, At + 1) & 0xE0) != 0xE0)
        return false;
    const std::uint32_t version = (Byte(Bytes, At + 1) >> 3) & 3,
                        layer = (Byte(Bytes, At + 1) >> 1) & 3;
    const std::uint32_t bitrate = Byte(Bytes, At + 2) >> 4, rate = (Byte(Bytes, At + 2) >> 2) & 3;
    return version != 1 && layer != 0 && bitrate != 0 && bitrate != 15 && rate != 3;
}

// The format of what a file holds from Start on, as these files can hold it:
// FLAC, MPEG audio (after zero bytes within 4 KiB) or neither; ID3v2 tags in
// front of it (the first and up to three more) are passed over.
TContentFormat ReferenceFormat(const std::string& Bytes, std::size_t Start) {
    for (int tags = 0; tags < 5 && Start < Bytes.size(); ++tags) {
        if (Start + 10 <= Bytes.size() && Bytes.compare(Start, 3, "ID3") == 0) {
            const std::uint64_t footer = (Byte(Bytes, Start + 5) & 0x10) ? 10 : 0;
            Start += 10 + Number(Bytes, Start + 6, 4, 7) + footer;
            continue;
        }
        if (Bytes.compare(Start, 4, "fLaC") == 0)
            return TContentFormat::FLAC;
        std::size_t at = Start;
        const std::size_t end = std::min(Bytes.size(), Start + 4096);
        if (at < end && Bytes[at] == 0)
            while (at < end && Bytes[at] == 0)
                ++at;
        return at + 4 <= end && MpegFrameAt(Bytes, at) ? TContentFormat::MP3
                                                       : TContentFormat::Unknown;
    }
    return TContentFormat::Unknown;
}

// With Fill, only the empty fields of Info are set, and a missing track (or
// track 0) sets none.
bool ReferenceV1(const std::string& Bytes, TMediaInfo& Info, bool Fill = false) {
    if (Bytes.size() < 128 || Bytes.compare(Bytes.size() - 128, 3, "TAG") != 0)
        return false;
    const std::string block = Bytes.substr(Bytes.size() - 128);
    auto field = [&](std::size_t At, std::size_t Width) {
        const std::string text = block.substr(At, Width);
        return std::string(Trimmed(Utf8(CodePage(text.substr(0, text.find('\0'))))));
    };
    const unsigned char separator = block[125], track = block[126], genre = block[127];
    const bool v11 = (separator == 0 && track != 0) || (separator == 32 && track != 32);
    const TMediaInfo v1{field(3, 30),  field(33, 30),
                        field(63, 30), genre < 148 ? std::string(GenreNames[genre]) : std::string(),
                        field(93, 4),  std::to_string(v11 ? track : 0)};
    if (!Fill) {
        Info = v1;
        return true;
    }
    for (auto member : {&TMediaInfo::Title, &TMediaInfo::Artist, &TMediaInfo::Album,
                        &TMediaInfo::Genre, &TMediaInfo::Year})
        if ((Info.*member).empty())
            Info.*member = v1.*member;
    if (Info.Track.empty() && v11 && track != 0)
        Info.Track = v1.Track;
    return true;
}

// Rewrites the file in place: truncating a file to nothing and writing it
// again makes some file systems flush it on close, which slows 10,000 rounds.
void Overwrite(const std::string& Path, const std::string& Bytes) {
    const int fd = open(Path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, Bytes.data(), Bytes.size(), 0), static_cast<ssize_t>(Bytes.size()));
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(Bytes.size())), 0);
    close(fd);
}

class Generator {
public:
    explicit Generator(unsigned Seed) : Random(Seed) {}

    std::string File() {
        std::string bytes;
        const int kind = Int(0, 9);
        if (kind == 0)
            return Text(Int(0, 400));
        int version = 0;
        const bool appended = kind <= 6 && Int(0, 7) == 0;
        if (kind <= 6 && !appended)
            bytes = V2Tag(version, false);
        bytes += Audio();
        bytes += Filler(Int(0, 1) ? Int(0, 3000) : 0);
        if (appended) {
            bytes += V2Tag(version, true);
            if (Int(0, 2) == 0)
                bytes += audiobytes::ApeTag({audiobytes::ApeItem("Title", Text(Int(0, 20)))});
        }
        if (kind > 6 || Int(0, 2) == 0)
            bytes += V1Tag();
        Mutate(bytes);
        return bytes;
    }

private:
    std::mt19937 Random;

    int Int(int Low, int High) { return std::uniform_int_distribution<int>(Low, High)(Random); }

    // Mostly printable, with the bytes the trim rules care about mixed in.
    // One draw per byte keeps 10,000 files quick in the sanitizer build.
    std::string Text(int Length) {
        std::string text(static_cast<std::size_t>(Length), '\0');
        for (char& c : text) {
            const std::uint32_t r = Random();
            const std::uint32_t pick = r % 10, value = r >> 8;
            c = static_cast<char>(pick < 6   ? 'A' + value % 58
                                  : pick < 8 ? value % 33
                                             : value % 256);
        }
        return text;
    }

    // What a tag may stand in front of: MPEG audio (after zero bytes that the
    // tag did not count, now and then), a FLAC stream, or nothing.
    std::string Audio() {
        switch (Int(0, 5)) {
        case 0:
            return audiobytes::MpegFrames(Int(1, 3));
        case 1:
            return std::string(static_cast<std::size_t>(Int(1, 300)), '\0') +
                   audiobytes::MpegFrames(1);
        case 2:
            return "fLaC" + std::string(40, '\0');
        default:
            return {};
        }
    }

    // Bulk data such as pictures and audio: only its length matters.
    std::string Filler(int Length) {
        std::string filler(static_cast<std::size_t>(Length), static_cast<char>(Random()));
        for (int n = std::min(Length, 16); n > 0; --n)
            filler[Random() % filler.size()] = static_cast<char>(Random());
        return filler;
    }

    // A frame of a version 3 or 4 tag with random flags and the bytes they
    // add: compressed, grouped, encrypted, unsynchronised (version 4).
    std::string FlaggedFrame(int Version, const char* Id, std::string Data, bool Unsynchronise) {
        std::uint8_t flags = 0;
        std::string extra;
        const bool compress = Int(0, 1);
        if (Version == 4) {
            flags = static_cast<std::uint8_t>(Int(0, 255) & 0x45);
            if (compress)
                flags |= 0x09;
            if (Unsynchronise || Int(0, 3) == 0)
                flags |= 0x02;
            if (flags & 0x40)
                extra += static_cast<char>(Int(0, 255));
            if (flags & 0x04)
                extra += static_cast<char>(Int(0, 255));
            if (flags & 0x01)
                extra +=
                    SyncSafe(static_cast<std::uint32_t>(Int(0, 3) ? Data.size() : Int(0, 1 << 20)));
        } else {
            flags = static_cast<std::uint8_t>(Int(0, 255) & 0x60);
            if (compress) {
                flags |= 0x80;
                extra += BigEndian(static_cast<std::uint32_t>(Data.size()), 4);
            }
            if (flags & 0x40)
                extra += static_cast<char>(Int(0, 255));
            if (flags & 0x20)
                extra += static_cast<char>(Int(0, 255));
        }
        if (compress)
            Data = Deflated(Data);
        std::string stored = extra + Data;
        if (Version == 4 && (flags & 0x02))
            stored = Unsynchronised(stored);
        const auto size = static_cast<std::uint32_t>(stored.size());
        return std::string(Id) + (Version == 4 ? SyncSafe(size) : BigEndian(size, 4)) + '\0' +
               static_cast<char>(flags) + stored;
    }

    // A tag of random frames, often repeated, sometimes long, flagged or
    // unsynchronised, with an extended header; Appended gives it a footer.
    std::string V2Tag(int& Version, bool Appended) {
        static const char* ids4[] = {"TIT2", "TPE1", "TALB", "TRCK", "TYER", "TCON",
                                     "COMM", "TDRC", "TOPE", "TIT1", "TOAL", "WXXX",
                                     "APIC", "PRIV", "TPE2", "TCOM"};
        static const char* ids2[] = {"TT2", "TP1", "TAL", "TRK", "TYE", "TCO", "COM", "TOR",
                                     "TOA", "TT1", "TOT", "WXX", "PIC", "GEO", "TP2", "TCM"};
        const int version = Version = Appended ? 4 : Int(2, 4);
        std::uint8_t flags = Appended ? 0x10 : 0;
        if (version != 2 && Int(0, 5) == 0)
            flags |= 0x40;
        if (Int(0, 5) == 0)
            flags |= 0x80;
        std::string frames;
        if (flags & 0x40)
            frames += version == 4 ? SyncSafe(6) + std::string("\x01\0", 2)
                      : Int(0, 1)  ? BigEndian(6, 4) + std::string(6, '\0')
                                   : BigEndian(10, 4) + std::string("\x80\0\0\0\0\0", 6) + Text(4);
        // Often a filler first that puts the next frames across the end of the
        // reader's first window, where a fault in refilling it would show.
        if (Int(0, 3) == 0) {
            const int header = version == 2 ? 6 : 10;
            const int start = static_cast<int>(TMediaFile::WindowCapacity) - Int(-10, 280);
            frames += Frame(version, version == 2 ? "GEO" : "PRIV", Filler(start - 10 - header));
        }
        for (int n = Int(0, 12); n > 0; --n) {
            const int which = Int(0, 15);
            const char* id = version == 2 ? ids2[which] : ids4[which];
            const bool bulk = which == 12 || which == 13;
            std::string data = bulk && Int(0, 3) == 0 ? Filler(Int(4000, 20000))
                               : Int(0, 19) == 0      ? Text(Int(4000, 9000))
                                                      : Text(Int(0, 300));
            const bool unsynchronise = version == 4 && (flags & 0x80);
            if (version != 2 && (unsynchronise || Int(0, 4) == 0))
                frames += FlaggedFrame(version, id, data, unsynchronise);
            else
                frames += Frame(version, id, data);
        }
        if (flags & 0x80 && version != 4)
            frames = Unsynchronised(frames);
        std::string tag =
            Tag(version, frames, static_cast<std::size_t>(Int(0, 1) ? Int(0, 2000) : 0));
        tag[5] = static_cast<char>(flags);
        if (Appended)
            tag += "3DI" + tag.substr(3, 7);
        else if (Int(0, 9) == 0)
            tag[5] = static_cast<char>(flags | 0x10);
        return tag;
    }

    std::string V1Tag() {
        if (Int(0, 4) == 0)
            return "TAG" + Text(125);
        V1 fields;
        fields.Title = Text(Int(0, 30));
        fields.Artist = Text(Int(0, 30));
        fields.Album = Text(Int(0, 30));
        fields.Year = Text(Int(0, 4));
        fields.Comment = Text(Int(0, 30));
        fields.Separator = Int(0, 1) ? -1 : Int(0, 1) * 32;
        fields.Track = Int(0, 255);
        fields.Genre = static_cast<std::uint8_t>(Int(0, 255));
        return V1Block(fields);
    }

    void Mutate(std::string& Bytes) {
        if (Bytes.empty())
            return;
        auto at = [&](std::size_t Limit) {
            return static_cast<std::size_t>(
                Int(0, static_cast<int>(std::min(Limit, Bytes.size()) - 1)));
        };
        switch (Int(0, 7)) {
        case 0: // random bytes, most of them in the tag header and frame headers
            for (int n = Int(1, 8); n > 0; --n)
                Bytes[at(Int(0, 1) ? 64 : Bytes.size())] = static_cast<char>(Int(0, 255));
            break;
        case 1: // random tag size, top bits included
            if (Bytes.size() >= 10)
                for (std::size_t i = 6; i < 10; ++i)
                    Bytes[i] = static_cast<char>(Int(0, 3) ? Int(0, 127) : Int(128, 255));
            break;
        case 2: // truncated anywhere
            Bytes.resize(at(Bytes.size()));
            break;
        case 3: // truncated inside the first frames
            Bytes.resize(at(40));
            break;
        case 4: // a frame size of 0 or with all top bits set
            if (Bytes.size() >= 18)
                Bytes.replace(14, 4, Int(0, 1) ? std::string(4, '\0') : std::string(4, '\xFF'));
            break;
        case 5: // the tag ending exactly where the file does
            if (Bytes.size() >= 10)
                Bytes.replace(6, 4, SyncSafe(static_cast<std::uint32_t>(Bytes.size() - 10)));
            break;
        default:
            break; // left valid
        }
    }
};

} // namespace

TEST(MediaRandom, TenThousandMutatedFilesMatchThePlainReadingOfTheRules) {
    TempDir dir;
    const std::string path = dir.str() + "/song.mp3";
    Generator generator(20240607u);
    const TMediaInfo untouched{"t", "a", "al", "g", "y", "tr"};
    int foundV2 = 0, foundV1 = 0, none = 0, single = 0, several = 0;
    std::array<int, ContentFormatCount> formats{};
    for (int i = 0; i < 10000; ++i) {
        const std::string bytes = generator.File();
        Overwrite(path, bytes);
        TMediaInfo info = untouched;
        std::int64_t size = -2;
        const bool found = ReadMediaInfoAndSize(path, info, size);

        TMediaInfo expected = untouched;
        const bool v2 = ReferenceV2(bytes, expected);
        const bool expectedFound =
            v2 ? ReferenceV1(bytes, expected, true) || true : ReferenceV1(bytes, expected);
        if (expectedFound)
            expected.Format = ReferenceFormat(bytes, 0);
        SCOPED_TRACE(testing::Message() << "file " << i << ", " << bytes.size() << " bytes");
        ASSERT_EQ(size, static_cast<std::int64_t>(bytes.size()));
        ASSERT_EQ(found, expectedFound);
        ASSERT_EQ(info, expected);
        (v2 ? foundV2 : found ? foundV1 : none)++;
        if (found)
            ++formats[static_cast<std::size_t>(info.Format)];

        // Bounds the rules allow, whatever the bytes: well-formed UTF-8, values
        // within the bound, no blank at either end.
        for (const std::string* text :
             {&info.Title, &info.Artist, &info.Album, &info.Genre, &info.Year, &info.Track,
              &info.AlbumArtist, &info.Composer}) {
            ASSERT_TRUE(IsValidUtf8(*text));
            ASSERT_LE(text->size(), TTagFields::MaxValues * (FieldTextSize + 2));
            // The first four characters of a recording time may end in a blank.
            if (found && !text->empty()) {
                ASSERT_GT(static_cast<unsigned char>(text->front()), 32);
                if (text != &info.Year) {
                    ASSERT_GT(static_cast<unsigned char>(text->back()), 32);
                }
            }
        }
        for (const TFieldValue& value : info.Values)
            ASSERT_TRUE(!value.Text.empty() && value.Text.size() <= FieldTextSize);
        (info.Values.empty() ? single : several)++;
    }
    // The generator has to reach every outcome for the comparison to mean much.
    EXPECT_GT(foundV2, 3000);
    EXPECT_GT(foundV1, 1000);
    EXPECT_GT(none, 500);
    EXPECT_GT(several, 300) << several;
    EXPECT_GT(formats[static_cast<std::size_t>(TContentFormat::MP3)], 1000);
    EXPECT_GT(formats[static_cast<std::size_t>(TContentFormat::FLAC)], 300);
    EXPECT_GT(formats[static_cast<std::size_t>(TContentFormat::Unknown)], 1000);
}
