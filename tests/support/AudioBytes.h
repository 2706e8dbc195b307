// Builders of the bytes of the other audio formats for the tests: Vorbis
// comments in FLAC and Ogg pages, MP4 boxes, ASF objects, RIFF and IFF
// chunks, APEv2 tags and MPEG frame headers. One TAudioTag describes what a
// file holds; each builder writes it in its format.
#pragma once

#include "support/TagBytes.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace audiobytes {

using tagbytes::BigEndian;

inline std::string LittleEndian(std::uint64_t Value, int Bytes) {
    std::string out;
    for (int i = 0; i < Bytes; ++i)
        out += static_cast<char>((Value >> (8 * i)) & 0xFF);
    return out;
}

inline std::string BigEndian64(std::uint64_t Value) {
    return BigEndian(static_cast<std::uint32_t>(Value >> 32), 4) +
           BigEndian(static_cast<std::uint32_t>(Value), 4);
}

// The fields a test file carries, in the common names; empty ones are left out.
struct TAudioTag {
    std::string Title, Artist;
    std::vector<std::string> AlbumArtists;
    std::string Album;
    std::vector<std::string> Composers;
    std::vector<std::string> Genres;
    std::string Date; // "2001-05-06" or "2001"
    std::string Track, TrackTotal;
};

// ---- Vorbis comments, FLAC, Ogg -------------------------------------------------------------

// "NAME=value" items of a tag, in the usual Vorbis comment names.
inline std::vector<std::string> VorbisItems(const TAudioTag& Tag) {
    std::vector<std::string> items;
    auto add = [&](const char* Name, const std::string& Value) {
        if (!Value.empty())
            items.push_back(std::string(Name) + "=" + Value);
    };
    add("TITLE", Tag.Title);
    add("ARTIST", Tag.Artist);
    for (const std::string& albumArtist : Tag.AlbumArtists)
        add("ALBUMARTIST", albumArtist);
    add("ALBUM", Tag.Album);
    for (const std::string& composer : Tag.Composers)
        add("COMPOSER", composer);
    for (const std::string& genre : Tag.Genres)
        add("GENRE", genre);
    add("DATE", Tag.Date);
    add("TRACKNUMBER", Tag.Track);
    add("TRACKTOTAL", Tag.TrackTotal);
    return items;
}

inline std::string VorbisComment(const std::vector<std::string>& Items,
                                 const std::string& Vendor = "test vendor") {
    std::string out = LittleEndian(Vendor.size(), 4) + Vendor + LittleEndian(Items.size(), 4);
    for (const std::string& item : Items)
        out += LittleEndian(item.size(), 4) + item;
    return out;
}

// 34 bytes: 4096-sample blocks, Rate, stereo, 16 bits, Samples in all.
inline std::string StreamInfo(std::uint32_t Rate = 44100, std::uint64_t Samples = 441000) {
    std::string out =
        BigEndian(4096, 2) + BigEndian(4096, 2) + BigEndian(14, 3) + BigEndian(8000, 3);
    const std::uint64_t packed = (std::uint64_t{Rate} << 44) | (std::uint64_t{1} << 41) |
                                 (std::uint64_t{15} << 36) | (Samples & 0xFFFFFFFFFull);
    out += BigEndian64(packed);
    return out + std::string(16, '\x11'); // MD5 of the audio
}

// A PICTURE block's data: a front cover of Size bytes.
inline std::string PictureData(std::size_t Size) {
    const std::string mime = "image/jpeg", description = "cover";
    return BigEndian(3, 4) + BigEndian(static_cast<std::uint32_t>(mime.size()), 4) + mime +
           BigEndian(static_cast<std::uint32_t>(description.size()), 4) + description +
           BigEndian(500, 4) + BigEndian(500, 4) + BigEndian(24, 4) + BigEndian(0, 4) +
           BigEndian(static_cast<std::uint32_t>(Size), 4) + std::string(Size, '\xAB');
}

struct TFlacBlock {
    int Type;
    std::string Data;
    std::int64_t Length = -1; // the stated length, when it should lie
};

inline std::string FlacBlocks(const std::vector<TFlacBlock>& Blocks) {
    std::string out;
    for (std::size_t i = 0; i < Blocks.size(); ++i) {
        const TFlacBlock& block = Blocks[i];
        const auto length =
            static_cast<std::uint32_t>(block.Length < 0 ? block.Data.size() : block.Length);
        out += static_cast<char>(block.Type | (i + 1 == Blocks.size() ? 0x80 : 0));
        out += BigEndian(length, 3) + block.Data;
    }
    return out;
}

// A FLAC file: STREAMINFO, a picture of PictureSize bytes first when asked,
// the comment, padding and a few bytes standing for audio frames.
inline std::string FlacFile(const TAudioTag& Tag, std::size_t PictureSize = 0,
                            std::uint64_t Samples = 441000) {
    std::vector<TFlacBlock> blocks{{0, StreamInfo(44100, Samples)}};
    if (PictureSize)
        blocks.push_back({6, PictureData(PictureSize)});
    blocks.push_back({4, VorbisComment(VorbisItems(Tag))});
    blocks.push_back({1, std::string(64, '\0')});
    return "fLaC" + FlacBlocks(blocks) + "\xFF\xF8\x69\x18" + std::string(200, '\x55');
}

inline std::uint32_t OggCrc(const std::string& Page) {
    std::uint32_t crc = 0;
    for (unsigned char byte : Page) {
        crc ^= std::uint32_t{byte} << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 0x80000000u ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

// The pages of an Ogg stream. Packets are laced into pages of at most
// SegmentsPerPage segments each, so a long packet spans several pages.
class TOggWriter {
public:
    explicit TOggWriter(std::uint32_t Serial = 0x1234) : serial_(Serial) {}

    // Packets that end on their pages take Granule (-1 on pages where none ends).
    void Add(const std::vector<std::string>& Packets, std::uint64_t Granule,
             int SegmentsPerPage = 255, bool Last = false) {
        std::vector<std::pair<int, std::size_t>> lacing; // segment size, packet index
        for (std::size_t p = 0; p < Packets.size(); ++p) {
            std::size_t left = Packets[p].size();
            while (left >= 255) {
                lacing.push_back({255, p});
                left -= 255;
            }
            lacing.push_back({static_cast<int>(left), p});
        }
        std::size_t packetOffset = 0, packet = 0, segment = 0;
        bool continued = false;
        while (segment < lacing.size()) {
            const std::size_t count = std::min<std::size_t>(
                lacing.size() - segment, static_cast<std::size_t>(SegmentsPerPage));
            std::string table, body;
            bool packetEnds = false;
            for (std::size_t i = segment; i < segment + count; ++i) {
                table += static_cast<char>(lacing[i].first);
                body +=
                    Packets[packet].substr(packetOffset, static_cast<std::size_t>(lacing[i].first));
                packetOffset += static_cast<std::size_t>(lacing[i].first);
                if (lacing[i].first < 255) {
                    ++packet;
                    packetOffset = 0;
                    packetEnds = true;
                }
            }
            segment += count;
            const bool lastPage = Last && segment == lacing.size();
            const int type = (continued ? 1 : 0) | (sequence_ == 0 ? 2 : 0) | (lastPage ? 4 : 0);
            std::string page = std::string("OggS") + '\0' + static_cast<char>(type) +
                               LittleEndian(packetEnds ? Granule : ~std::uint64_t{0}, 8) +
                               LittleEndian(serial_, 4) + LittleEndian(sequence_++, 4) +
                               std::string(4, '\0') + static_cast<char>(count) + table + body;
            const std::string crc = LittleEndian(OggCrc(page), 4);
            page.replace(22, 4, crc);
            bytes_ += page;
            continued = lacing[segment - 1].first == 255;
        }
    }

    const std::string& Bytes() const { return bytes_; }

private:
    std::uint32_t serial_;
    std::uint32_t sequence_ = 0;
    std::string bytes_;
};

enum class TOggCodec { Vorbis, Opus, Flac };

// An Ogg file of Codec with Tag; the comment packet is laced SegmentsPerPage
// segments a page and is Padding bytes longer for an unknown item.
inline std::string OggFile(TOggCodec Codec, const TAudioTag& Tag, int SegmentsPerPage = 255,
                           std::size_t Padding = 0, std::uint64_t LastGranule = 441000) {
    std::vector<std::string> items = VorbisItems(Tag);
    if (Padding)
        items.insert(items.begin(), "METADATA_BLOCK_PICTURE=" + std::string(Padding, 'Q'));
    const std::string comment = VorbisComment(items);
    TOggWriter ogg;
    std::string setup;
    if (Codec == TOggCodec::Vorbis) {
        ogg.Add({std::string("\x01vorbis", 7) + LittleEndian(0, 4) + '\x02' +
                 LittleEndian(44100, 4) + LittleEndian(0, 4) + LittleEndian(128000, 4) +
                 LittleEndian(0, 4) + '\xB8' + '\x01'},
                0);
        ogg.Add({std::string("\x03vorbis") + comment + '\x01',
                 std::string("\x05vorbis") + std::string(40, '\x42')},
                0, SegmentsPerPage);
    } else if (Codec == TOggCodec::Opus) {
        ogg.Add({std::string("OpusHead\x01\x02", 10) + LittleEndian(312, 2) +
                 LittleEndian(48000, 4) + LittleEndian(0, 2) + '\0'},
                0);
        ogg.Add({"OpusTags" + comment}, 0, SegmentsPerPage);
    } else {
        ogg.Add({std::string("\x7F"
                             "FLAC\x01\x00",
                             7) +
                 BigEndian(1, 2) + "fLaC" + '\0' + BigEndian(34, 3) +
                 StreamInfo(44100, LastGranule)},
                0);
        ogg.Add({std::string(1, '\x84') + BigEndian(static_cast<std::uint32_t>(comment.size()), 3) +
                 comment},
                0, SegmentsPerPage);
    }
    ogg.Add({std::string(300, '\x21'), std::string(100, '\x22')}, LastGranule, 255, true);
    return ogg.Bytes();
}

// ---- MP4 ----------------------------------------------------------------------------------

inline std::string Box(const std::string& Type, const std::string& Payload) {
    return BigEndian(static_cast<std::uint32_t>(8 + Payload.size()), 4) + Type + Payload;
}

// A box with a 64-bit size.
inline std::string WideBox(const std::string& Type, const std::string& Payload) {
    return BigEndian(1, 4) + Type + BigEndian64(16 + Payload.size()) + Payload;
}

inline std::string DataBox(std::uint32_t Kind, const std::string& Value) {
    return Box("data", BigEndian(Kind, 4) + BigEndian(0, 4) + Value);
}

inline std::string Ilst(const TAudioTag& Tag, int GenreNumber = 0) {
    std::string items;
    auto text = [&](const std::string& Type, const std::string& Value) {
        if (!Value.empty())
            items += Box(Type, DataBox(1, Value));
    };
    text("\xA9nam", Tag.Title);
    text("\xA9"
         "ART",
         Tag.Artist);
    // Several values of an item are several data boxes.
    auto texts = [&](const std::string& Type, const std::vector<std::string>& Values) {
        std::string boxes;
        for (const std::string& value : Values)
            boxes += DataBox(1, value);
        if (!boxes.empty())
            items += Box(Type, boxes);
    };
    texts("aART", Tag.AlbumArtists);
    text("\xA9"
         "alb",
         Tag.Album);
    texts("\xA9wrt", Tag.Composers);
    if (GenreNumber)
        items += Box("gnre", DataBox(0, BigEndian(static_cast<std::uint32_t>(GenreNumber), 2)));
    else if (!Tag.Genres.empty()) {
        // Several values: one data box each.
        std::string genres;
        for (const std::string& genre : Tag.Genres)
            genres += DataBox(1, genre);
        items += Box("\xA9gen", genres);
    }
    text("\xA9"
         "day",
         Tag.Date);
    if (!Tag.Track.empty())
        items += Box(
            "trkn",
            DataBox(0, BigEndian(0, 2) +
                           BigEndian(static_cast<std::uint32_t>(std::stoul(Tag.Track)), 2) +
                           BigEndian(static_cast<std::uint32_t>(
                                         Tag.TrackTotal.empty() ? 0 : std::stoul(Tag.TrackTotal)),
                                     2) +
                           BigEndian(0, 2)));
    return Box("ilst", items);
}

inline std::string Mvhd(std::uint32_t Scale, std::uint32_t Duration) {
    return Box("mvhd", BigEndian(0, 4) + BigEndian(0, 4) + BigEndian(0, 4) + BigEndian(Scale, 4) +
                           BigEndian(Duration, 4) + std::string(80, '\0'));
}

struct TMp4Layout {
    bool MoovAtEnd = false; // moov after the media data, as many encoders write it
    bool WideMdat = false;  // mdat with a 64-bit size
    std::size_t MdatSize = 5000;
    std::size_t TrackPadding = 0; // sample tables before udta
    int GenreNumber = 0;          // gnre instead of ©gen
    std::string Handler = "soun"; // the track's handler type
    std::string SampleEntry = "mp4a";
    bool VideoTrackFirst = false; // a video track before the sound track
};

inline std::string Mp4File(const TAudioTag& Tag, const TMp4Layout& Layout = {},
                           std::uint32_t Scale = 44100, std::uint32_t Duration = 441000) {
    const std::string ftyp = Box("ftyp", "M4A " + BigEndian(0, 4) + "M4A mp42isom");
    const std::string hdlr =
        Box("hdlr", BigEndian(0, 4) + BigEndian(0, 4) + "mdir" + "appl" + std::string(9, '\0'));
    const std::string mdhd =
        Box("mdhd", BigEndian(0, 4) + BigEndian(0, 4) + BigEndian(0, 4) + BigEndian(Scale, 4) +
                        BigEndian(Duration, 4) + BigEndian(0, 4));
    auto track = [&](const std::string& Handler, const std::string& Entry) {
        const std::string handler =
            Box("hdlr", BigEndian(0, 4) + BigEndian(0, 4) + Handler + std::string(13, '\0'));
        // A sample description of the codec Entry: reserved bytes and the
        // data reference index, then what an audio entry holds (channels,
        // sample size and rate).
        const std::string descriptions = Box(
            "stsd", BigEndian(0, 4) + BigEndian(1, 4) +
                        Box(Entry, std::string(6, '\0') + BigEndian(1, 2) + std::string(8, '\0') +
                                       BigEndian(2, 2) + BigEndian(16, 2) + std::string(4, '\0') +
                                       BigEndian(Scale << 16, 4)));
        return Box(
            "trak",
            Box("mdia", mdhd + handler +
                            Box("minf", Box("stbl", descriptions +
                                                        Box("stco", std::string(Layout.TrackPadding,
                                                                                '\0'))))));
    };
    const std::string trak = (Layout.VideoTrackFirst ? track("vide", "avc1") : std::string()) +
                             track(Layout.Handler, Layout.SampleEntry);
    const std::string moov =
        Box("moov",
            Mvhd(Scale, Duration) + trak +
                Box("udta", Box("meta", BigEndian(0, 4) + hdlr + Ilst(Tag, Layout.GenreNumber))));
    const std::string media(Layout.MdatSize, '\x5A');
    const std::string mdat = Layout.WideMdat ? WideBox("mdat", media) : Box("mdat", media);
    return Layout.MoovAtEnd ? ftyp + mdat + moov : ftyp + moov + mdat;
}

// ---- ASF ----------------------------------------------------------------------------------

inline std::string Guid(std::uint32_t A, std::uint16_t B, std::uint16_t C,
                        std::array<unsigned char, 8> D) {
    std::string out = LittleEndian(A, 4) + LittleEndian(B, 2) + LittleEndian(C, 2);
    for (unsigned char byte : D)
        out += static_cast<char>(byte);
    return out;
}

inline const std::string AsfHeaderGuid =
    Guid(0x75B22630, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C});
inline const std::string AsfContentGuid =
    Guid(0x75B22633, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C});
inline const std::string AsfExtendedGuid =
    Guid(0xD2D0A440, 0xE307, 0x11D2, {0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50});
inline const std::string AsfPropertiesGuid =
    Guid(0x8CABDCA1, 0xA947, 0x11CF, {0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65});
inline const std::string AsfStreamGuid =
    Guid(0xB7DC0791, 0xA9B7, 0x11CF, {0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65});
inline const std::string AsfAudioMediaGuid =
    Guid(0xF8699E40, 0x5B4D, 0x11CF, {0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B});

// UTF-16LE of UTF-8 text, with a closing NUL.
inline std::string Utf16(const std::string& Text, bool Nul = true) {
    std::string out;
    for (std::size_t i = 0; i < Text.size();) {
        const auto lead = static_cast<unsigned char>(Text[i]);
        std::uint32_t code;
        int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        code = length == 1 ? lead : lead & (0xFF >> (length + 1));
        for (int k = 1; k < length && i + static_cast<std::size_t>(k) < Text.size(); ++k)
            code = (code << 6) |
                   (static_cast<unsigned char>(Text[i + static_cast<std::size_t>(k)]) & 0x3F);
        i += static_cast<std::size_t>(length);
        if (code >= 0x10000) {
            code -= 0x10000;
            out +=
                LittleEndian(0xD800 + (code >> 10), 2) + LittleEndian(0xDC00 + (code & 0x3FF), 2);
        } else {
            out += LittleEndian(code, 2);
        }
    }
    return Nul ? out + std::string(2, '\0') : out;
}

inline std::string AsfObject(const std::string& Guid, const std::string& Data) {
    return Guid + LittleEndian(24 + Data.size(), 8) + Data;
}

inline std::string AsfDescriptor(const std::string& Name, int Type, const std::string& Value) {
    const std::string name = Utf16(Name);
    return LittleEndian(name.size(), 2) + name + LittleEndian(static_cast<std::uint64_t>(Type), 2) +
           LittleEndian(Value.size(), 2) + Value;
}

// An ASF file: header with File and Stream Properties, Content Description and
// Extended Content Description, then a data object. TrackAsNumber stores the
// track as a DWORD.
inline std::string AsfFile(const TAudioTag& Tag, bool TrackAsNumber = false,
                           std::uint64_t PlayMs = 10000, std::uint64_t PrerollMs = 3000) {
    std::vector<std::string> objects;
    objects.push_back(AsfObject(
        AsfPropertiesGuid, std::string(16, '\x01') + LittleEndian(0, 8) + LittleEndian(0, 8) +
                               LittleEndian(1, 8) + LittleEndian((PlayMs + PrerollMs) * 10000, 8) +
                               LittleEndian(PlayMs * 10000, 8) + LittleEndian(PrerollMs, 8) +
                               LittleEndian(2, 4) + LittleEndian(3200, 4) + LittleEndian(3200, 4) +
                               LittleEndian(128000, 4)));
    const std::string waveFormat = LittleEndian(0x161, 2) + LittleEndian(2, 2) +
                                   LittleEndian(44100, 4) + LittleEndian(16000, 4) +
                                   LittleEndian(3200, 2) + LittleEndian(16, 2) + LittleEndian(0, 2);
    objects.push_back(
        AsfObject(AsfStreamGuid, AsfAudioMediaGuid + std::string(16, '\0') + LittleEndian(0, 8) +
                                     LittleEndian(waveFormat.size(), 4) + LittleEndian(0, 4) +
                                     LittleEndian(1, 2) + LittleEndian(0, 4) + waveFormat));
    const std::string title = Tag.Title.empty() ? "" : Utf16(Tag.Title);
    const std::string author = Tag.Artist.empty() ? "" : Utf16(Tag.Artist);
    objects.push_back(AsfObject(AsfContentGuid, LittleEndian(title.size(), 2) +
                                                    LittleEndian(author.size(), 2) +
                                                    std::string(6, '\0') + title + author));
    std::vector<std::string> descriptors;
    auto text = [&](const char* Name, const std::string& Value) {
        if (!Value.empty())
            descriptors.push_back(AsfDescriptor(Name, 0, Utf16(Value)));
    };
    for (const std::string& albumArtist : Tag.AlbumArtists)
        text("WM/AlbumArtist", albumArtist);
    text("WM/AlbumTitle", Tag.Album);
    for (const std::string& composer : Tag.Composers)
        text("WM/Composer", composer);
    for (const std::string& genre : Tag.Genres)
        text("WM/Genre", genre);
    text("WM/Year", Tag.Date);
    if (!Tag.Track.empty()) {
        if (TrackAsNumber)
            descriptors.push_back(
                AsfDescriptor("WM/TrackNumber", 3, LittleEndian(std::stoul(Tag.Track), 4)));
        else
            text("WM/TrackNumber", Tag.Track);
    }
    std::string extended = LittleEndian(descriptors.size(), 2);
    for (const std::string& d : descriptors)
        extended += d;
    objects.push_back(AsfObject(AsfExtendedGuid, extended));
    std::string body;
    for (const std::string& o : objects)
        body += o;
    const std::string header = AsfHeaderGuid + LittleEndian(30 + body.size(), 8) +
                               LittleEndian(objects.size(), 4) + "\x01\x02" + body;
    const std::string dataGuid =
        Guid(0x75B22636, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C});
    return header + dataGuid + LittleEndian(50 + 3200, 8) + std::string(16, '\x01') +
           LittleEndian(1, 8) + "\x01\x01" + std::string(3200, '\0');
}

// ---- RIFF and IFF -------------------------------------------------------------------------

inline std::string Chunk(const std::string& Id, const std::string& Data,
                         bool BigEndianSize = false) {
    const auto size = static_cast<std::uint32_t>(Data.size());
    return Id + (BigEndianSize ? BigEndian(size, 4) : LittleEndian(size, 4)) + Data +
           (Data.size() % 2 ? std::string(1, '\0') : "");
}

// Values joined by Separator.
inline std::string JoinedBy(const std::vector<std::string>& Values, const std::string& Separator) {
    std::string out;
    for (const std::string& value : Values)
        out += (out.empty() ? "" : Separator) + value;
    return out;
}

// An ID3v2.4 tag of the fields, UTF-8 text frames; several values of a frame
// are separated by NUL bytes. The artist is the first album artist when the
// tag has none, as a tagger that fills TPE1 would write it.
inline std::string Id3Tag(const TAudioTag& Tag) {
    std::string frames;
    auto text = [&](const char* Id, const std::string& Value) {
        if (!Value.empty())
            frames += tagbytes::Frame(4, Id, std::string(1, '\x03') + Value);
    };
    const std::string nul(1, '\0');
    text("TIT2", Tag.Title);
    text("TPE1",
         !Tag.Artist.empty() || Tag.AlbumArtists.empty() ? Tag.Artist : Tag.AlbumArtists.front());
    text("TPE2", JoinedBy(Tag.AlbumArtists, nul));
    text("TCOM", JoinedBy(Tag.Composers, nul));
    text("TALB", Tag.Album);
    if (!Tag.Genres.empty())
        text("TCON", Tag.Genres.front());
    text("TDRC", Tag.Date);
    text("TRCK", Tag.TrackTotal.empty() || Tag.Track.empty() ? Tag.Track
                                                             : Tag.Track + "/" + Tag.TrackTotal);
    return tagbytes::Tag(4, frames, 16);
}

inline std::string InfoList(const TAudioTag& Tag, const char* TrackId = "ITRK") {
    std::string items;
    auto text = [&](const char* Id, const std::string& Value) {
        if (!Value.empty())
            items += Chunk(Id, Value + '\0');
    };
    text("INAM", Tag.Title);
    text("IART", Tag.Artist);
    text("IPRD", Tag.Album);
    if (!Tag.Genres.empty())
        text("IGNR", Tag.Genres.front());
    text("ICRD", Tag.Date);
    text(TrackId, Tag.Track);
    return Chunk("LIST", "INFO" + items);
}

// 16-bit stereo at 44.1 kHz: 176400 bytes a second.
inline std::string WavFormat() {
    return Chunk("fmt ", LittleEndian(1, 2) + LittleEndian(2, 2) + LittleEndian(44100, 4) +
                             LittleEndian(176400, 4) + LittleEndian(4, 2) + LittleEndian(16, 2));
}

inline std::string RiffFile(const std::string& Chunks) {
    return "RIFF" + LittleEndian(4 + Chunks.size(), 4) + "WAVE" + Chunks;
}

// An 80-bit extended number of a whole Value.
inline std::string Extended(std::uint32_t Value) {
    int exponent = 16383 + 31;
    std::uint64_t mantissa = std::uint64_t{Value} << 32;
    while (mantissa && !(mantissa & (std::uint64_t{1} << 63))) {
        mantissa <<= 1;
        --exponent;
    }
    return BigEndian(static_cast<std::uint32_t>(exponent), 2) + BigEndian64(mantissa);
}

inline std::string AiffFile(const std::string& Chunks, std::uint32_t Frames = 44100) {
    const std::string common = Chunk(
        "COMM", BigEndian(2, 2) + BigEndian(Frames, 4) + BigEndian(16, 2) + Extended(44100), true);
    const std::string sound =
        Chunk("SSND", BigEndian(0, 4) + BigEndian(0, 4) + std::string(400, '\0'), true);
    const std::string body = "AIFF" + common + Chunks + sound;
    return "FORM" + BigEndian(static_cast<std::uint32_t>(body.size()), 4) + body;
}

// ---- APEv2 and MPEG -----------------------------------------------------------------------

// An item; Flags 0 is UTF-8 text. Several values are joined by NUL bytes.
inline std::string ApeItem(const std::string& Name, const std::string& Value,
                           std::uint32_t Flags = 0) {
    return LittleEndian(Value.size(), 4) + LittleEndian(Flags, 4) + Name + '\0' + Value;
}

inline std::string ApeTag(const std::vector<std::string>& Items, bool WithHeader = true) {
    std::string body;
    for (const std::string& item : Items)
        body += item;
    auto block = [&](std::uint32_t Flags) {
        return "APETAGEX" + LittleEndian(2000, 4) + LittleEndian(body.size() + 32, 4) +
               LittleEndian(Items.size(), 4) + LittleEndian(Flags, 4) + std::string(8, '\0');
    };
    return (WithHeader ? block(0xA0000000u) : "") + body + block(0x80000000u);
}

inline std::vector<std::string> ApeItems(const TAudioTag& Tag) {
    std::vector<std::string> items;
    auto text = [&](const char* Name, const std::string& Value) {
        if (!Value.empty())
            items.push_back(ApeItem(Name, Value));
    };
    text("Title", Tag.Title);
    const std::string nul(1, '\0');
    text("Artist", Tag.Artist);
    text("Album Artist", JoinedBy(Tag.AlbumArtists, nul));
    text("Album", Tag.Album);
    text("Composer", JoinedBy(Tag.Composers, nul));
    text("Genre", JoinedBy(Tag.Genres, nul));
    text("Year", Tag.Date);
    text("Track", Tag.TrackTotal.empty() || Tag.Track.empty() ? Tag.Track
                                                              : Tag.Track + "/" + Tag.TrackTotal);
    return items;
}

// MPEG-1 layer III frames of 128 kbit/s at 44.1 kHz, stereo: 417 bytes each.
inline std::string MpegFrames(int Count) {
    std::string frame = std::string("\xFF\xFB\x90\x00", 4) + std::string(413, '\0');
    std::string out;
    for (int i = 0; i < Count; ++i)
        out += frame;
    return out;
}

// A first frame that carries a Xing header with Frames frames.
inline std::string XingFrame(std::uint32_t Frames, const char* Magic = "Xing") {
    std::string frame = std::string("\xFF\xFB\x90\x00", 4) + std::string(32, '\0') + Magic +
                        BigEndian(1, 4) + BigEndian(Frames, 4);
    return frame + std::string(417 - frame.size(), '\0');
}

// A first frame made of the four header bytes, Info at byte At and zero bytes
// up to Length: a Xing header sits where the side information ends (byte 21
// of an MPEG-1 mono frame, 36 of stereo, 13 of MPEG-2 mono), VBRI at byte 36.
inline std::string FrameWith(const char* Header, std::size_t At, const std::string& Info,
                             std::size_t Length = 417) {
    std::string frame = std::string(Header, 4) + std::string(At - 4, '\0') + Info;
    return frame + std::string(Length > frame.size() ? Length - frame.size() : 0, '\0');
}

// A VBRI header (version 1) that counts Frames frames.
inline std::string Vbri(std::uint32_t Frames) {
    return "VBRI" + BigEndian(1, 2) + BigEndian(0, 2) + BigEndian(75, 2) + BigEndian(100000, 4) +
           BigEndian(Frames, 4);
}

// A Monkey's Audio file: its descriptor's magic, some audio, the tag.
inline std::string ApeFile(const std::string& Magic, const TAudioTag& Tag) {
    return Magic + std::string(60, '\x01') + ApeTag(ApeItems(Tag));
}

} // namespace audiobytes
