// Seeded randomized files through ReadMediaInfo: valid tags of every version,
// mutated, truncated and given random sizes, checked against a plain
// whole-file reading of the same rules and against the bounds those allow.
#include "media/MediaUtils.h"
#include "media/id3/ID3v1.h"
#include "media/id3/ID3v2.h"
#include "media/text/TagDecoder.h"
#include "media/text/Utf8.h"
#include "media/toolkit/MediaFile.h"
#include "support/TagBytes.h"
#include "support/TempDir.h"

#include <algorithm>
#include <array>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <unistd.h>
#include <vector>

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

std::string FrameText(const std::string& Data, bool Cut, int Version, bool Genre) {
    const std::u32string text = DecodeFrame(Data, Cut);
    std::vector<std::string> values;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t nul = std::min(text.find(U'\0', start), text.size());
        std::string value(Trimmed(Utf8(text.substr(start, nul - start))));
        if (Genre)
            value = GenreText(value);
        values.push_back(value);
        start = nul + 1;
        if (Version != 4)
            break;
    }
    std::string joined;
    for (const std::string& value : values)
        if (!value.empty())
            joined += (joined.empty() ? "" : "; ") + value;
    return joined;
}

bool ReferenceV2(const std::string& Bytes, TMediaInfo& Info) {
    if (Bytes.size() < 10 || Bytes.compare(0, 3, "ID3") != 0)
        return false;
    Info = TMediaInfo{};
    const int version = Bytes[3];
    std::uint64_t tagSize = Byte(Bytes, 6) * 2097152 + Byte(Bytes, 7) * 16384 +
                            Byte(Bytes, 8) * 128 + Byte(Bytes, 9) + 10;
    if (Byte(Bytes, 5) & 16)
        tagSize += 10;
    if (tagSize > Bytes.size() || version < 2 || version > 4)
        return true;
    static const char* ids4[] = {"TIT2", "TPE1", "TALB", "TRCK", "TYER",
                                 "TCON", "TDRC", "TOPE", "TIT1", "TOAL"};
    static const char* ids2[] = {"TT2", "TP1", "TAL", "TRK", "TYE",
                                 "TCO", "TOR", "TOA", "TT1", "TOT"};
    std::array<std::string, 10> slots;
    std::array<bool, 10> cut{};
    const std::size_t header = version == 2 ? 6 : 10;
    std::uint64_t position = 10;
    while (position < tagSize && position + header <= Bytes.size()) {
        if (Bytes[position] < 'A' || Bytes[position] > 'Z')
            break;
        const std::size_t s = position + (version == 2 ? 3 : 4);
        std::uint64_t size =
            version == 2   ? (Byte(Bytes, s) << 16) + (Byte(Bytes, s + 1) << 8) + Byte(Bytes, s + 2)
            : version == 3 ? (std::uint64_t{Byte(Bytes, s)} << 24) + (Byte(Bytes, s + 1) << 16) +
                                 (Byte(Bytes, s + 2) << 8) + Byte(Bytes, s + 3)
                           : Byte(Bytes, s) * 2097152 + Byte(Bytes, s + 1) * 16384 +
                                 Byte(Bytes, s + 2) * 128 + Byte(Bytes, s + 3);
        const std::string id = Bytes.substr(position, version == 2 ? 3 : 4);
        const std::uint64_t kept = std::min<std::uint64_t>(size, 250);
        if (position + header + kept > Bytes.size())
            break;
        for (std::size_t k = 0; k < slots.size(); ++k)
            if (id == (version == 2 ? ids2 : ids4)[k]) {
                slots[k] = Bytes.substr(position + header, kept);
                cut[k] = size > 250;
            }
        position += header + size;
    }
    auto text = [&](int Slot) { return FrameText(slots[Slot], cut[Slot], version, false); };
    auto either = [&](int First, int Second) {
        const std::string found = text(First);
        return found.empty() ? text(Second) : found;
    };
    Info.Title = either(0, 8);
    Info.Artist = either(1, 7);
    Info.Album = either(2, 9);
    Info.Track = text(3);
    Info.Year = text(4);
    if (Info.Year.empty()) {
        const std::string time = text(6);
        std::size_t end = 0;
        for (int n = 0; n < 4 && end < time.size(); ++n)
            for (++end; end < time.size() && (Byte(time, end) & 0xC0) == 0x80;)
                ++end;
        Info.Year = time.substr(0, end);
    }
    Info.Genre = FrameText(slots[5], cut[5], version, true);
    return true;
}

// With Fill, only the empty fields of Info are set, and a missing track sets none.
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
    if (Info.Track.empty() && v11)
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
        if (kind <= 6)
            bytes = V2Tag();
        bytes += Filler(Int(0, 1) ? Int(0, 3000) : 0);
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

    // Bulk data such as pictures and audio: only its length matters.
    std::string Filler(int Length) {
        std::string filler(static_cast<std::size_t>(Length), static_cast<char>(Random()));
        for (int n = std::min(Length, 16); n > 0; --n)
            filler[Random() % filler.size()] = static_cast<char>(Random());
        return filler;
    }

    std::string V2Tag() {
        static const char* ids4[] = {"TIT2", "TPE1", "TALB", "TRCK", "TYER", "TCON", "COMM",
                                     "TDRC", "TOPE", "TIT1", "TOAL", "WXXX", "APIC", "PRIV"};
        static const char* ids2[] = {"TT2", "TP1", "TAL", "TRK", "TYE", "TCO", "COM",
                                     "TOR", "TOA", "TT1", "TOT", "WXX", "PIC", "GEO"};
        const int version = Int(2, 4);
        std::string frames;
        // Often a filler first that puts the next frames across the end of the
        // reader's first window, where a fault in refilling it would show.
        if (Int(0, 3) == 0) {
            const int header = version == 2 ? 6 : 10;
            const int start = static_cast<int>(TMediaFile::WindowCapacity) - Int(-10, 280);
            frames += Frame(version, version == 2 ? "GEO" : "PRIV", Filler(start - 10 - header));
        }
        for (int n = Int(0, 12); n > 0; --n) {
            const int which = Int(0, 13);
            const char* id = version == 2 ? ids2[which] : ids4[which];
            frames += which >= 12 && Int(0, 3) == 0 ? Frame(version, id, Filler(Int(4000, 20000)))
                                                    : Frame(version, id, Text(Int(0, 300)));
        }
        std::string tag =
            Tag(version, frames, static_cast<std::size_t>(Int(0, 1) ? Int(0, 2000) : 0));
        if (Int(0, 9) == 0)
            tag[5] = 16;
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
    int foundV2 = 0, foundV1 = 0, none = 0;
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
        SCOPED_TRACE(testing::Message() << "file " << i << ", " << bytes.size() << " bytes");
        ASSERT_EQ(size, static_cast<std::int64_t>(bytes.size()));
        ASSERT_EQ(found, expectedFound);
        ASSERT_EQ(info, expected);
        (v2 ? foundV2 : found ? foundV1 : none)++;

        // Bounds the rules allow, whatever the bytes: well-formed UTF-8, at most
        // 250 characters from a frame (each NUL of a version 4 frame may become
        // a two-character separator), no blank at either end.
        for (const std::string* text :
             {&info.Title, &info.Artist, &info.Album, &info.Genre, &info.Year, &info.Track}) {
            ASSERT_TRUE(IsValidUtf8(*text));
            std::size_t characters = 0;
            for (char c : *text)
                characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
            ASSERT_LE(characters, 375u);
            // The first four characters of a recording time may end in a blank.
            if (found && !text->empty()) {
                ASSERT_GT(static_cast<unsigned char>(text->front()), 32);
                if (text != &info.Year) {
                    ASSERT_GT(static_cast<unsigned char>(text->back()), 32);
                }
            }
        }
    }
    // The generator has to reach every outcome for the comparison to mean much.
    EXPECT_GT(foundV2, 3000);
    EXPECT_GT(foundV1, 1000);
    EXPECT_GT(none, 500);
}
