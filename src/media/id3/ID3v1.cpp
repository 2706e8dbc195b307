// The ID3v1 tag reader and the genre table (see ID3v1.h).
#include "media/id3/ID3v1.h"

#include "media/text/TagDecoder.h"
#include "media/toolkit/MediaFile.h"

#include <cstring>

// The spellings are the ones every reader of this tag uses, mistakes included.
// clang-format off
const std::array<std::string_view, 148> GenreNames = {
    "Blues", "Classic Rock", "Country", "Dance",
    "Disco", "Funk", "Grunge", "Hip-Hop",
    "Jazz", "Metal", "New Age", "Oldies",
    "Other", "Pop", "R&B", "Rap",
    "Reggae", "Rock", "Techno", "Industrial",
    "Alternative", "Ska", "Death Metal", "Pranks",
    "Soundtrack", "Euro-Techno", "Ambient", "Trip-Hop",
    "Vocal", "Jazz+Funk", "Fusion", "Trance",
    "Classical", "Instrumental", "Acid", "House",
    "Game", "Sound Clip", "Gospel", "Noise",
    "AlternRock", "Bass", "Soul", "Punk",
    "Space", "Meditative", "Instrumental Pop", "Instrumental Rock",
    "Ethnic", "Gothic", "Darkwave", "Techno-Industrial",
    "Electronic", "Pop-Folk", "Eurodance", "Dream",
    "Southern Rock", "Comedy", "Cult", "Gangsta",
    "Top 40", "Christian Rap", "Pop/Funk", "Jungle",
    "Native American", "Cabaret", "New Wave", "Psychadelic",
    "Rave", "Showtunes", "Trailer", "Lo-Fi",
    "Tribal", "Acid Punk", "Acid Jazz", "Polka",
    "Retro", "Musical", "Rock & Roll", "Hard Rock",
    "Folk", "Folk-Rock", "National Folk", "Swing",
    "Fast Fusion", "Bebob", "Latin", "Revival",
    "Celtic", "Bluegrass", "Avantgarde", "Gothic Rock",
    "Progessive Rock", "Psychedelic Rock", "Symphonic Rock", "Slow Rock",
    "Big Band", "Chorus", "Easy Listening", "Acoustic",
    "Humour", "Speech", "Chanson", "Opera",
    "Chamber Music", "Sonata", "Symphony", "Booty Bass",
    "Primus", "Porn Groove", "Satire", "Slow Jam",
    "Club", "Tango", "Samba", "Folklore",
    "Ballad", "Power Ballad", "Rhythmic Soul", "Freestyle",
    "Duet", "Punk Rock", "Drum Solo", "A capella",
    "Euro-House", "Dance Hall", "Goa", "Drum & Bass",
    "Club-House", "Hardcore", "Terror", "Indie",
    "BritPop", "Negerpunk", "Polsk Punk", "Beat",
    "Christian Gangsta Rap", "Heavy Metal", "Black Metal", "Crossover",
    "Contemporary Christian", "Christian Rock", "Merengue", "Salsa",
    "Trash Metal", "Anime", "JPop", "Synthpop",
};
// clang-format on

namespace {

// A fixed-width field up to its first NUL, read as undeclared text, without the
// characters U+0000 to U+0020 at either end.
std::string FieldText(const unsigned char* Field, std::size_t Width, TTagDecoder& Decoder) {
    const auto* Nul = static_cast<const unsigned char*>(std::memchr(Field, 0, Width));
    const std::string_view Bytes(reinterpret_cast<const char*>(Field),
                                 Nul ? static_cast<std::size_t>(Nul - Field) : Width);
    std::string Text;
    Decoder.AppendUndeclared(Text, TrimText(Bytes));
    return std::string(TrimText(Text));
}

} // namespace

void TID3v1::Clear() {
    TagFound = false;
    TagVersion = 1;
    Title.clear();
    Artist.clear();
    Album.clear();
    Year.clear();
    Comment.clear();
    TrackNumber = 0;
    GenreIndex = 255;
}

bool TID3v1::LoadFromFile(const std::string& FileName) {
    return LoadFromFile(FileName, DefaultTagDecoder());
}

bool TID3v1::LoadFromFile(const std::string& FileName, TTagDecoder& Decoder) {
    TMediaFile file(FileName);
    return LoadFromMediaFile(file, Decoder);
}

bool TID3v1::LoadFromMediaFile(TMediaFile& File, TTagDecoder& Decoder) {
    Clear();
    const unsigned char* block = File.Bytes(File.Size() - BlockSize, BlockSize);
    if (!block)
        return false;
    LoadFromBlock(block, Decoder);
    return true;
}

void TID3v1::LoadFromBlock(const unsigned char* Block, TTagDecoder& Decoder) {
    Clear();
    if (std::memcmp(Block, "TAG", 3) != 0)
        return;
    TagFound = true;
    const unsigned char separator = Block[125];
    const unsigned char track = Block[126];
    const bool v11 = (separator == 0 && track != 0) || (separator == 32 && track != 32);
    TagVersion = v11 ? 2 : 1;
    Title = FieldText(Block + 3, 30, Decoder);
    Artist = FieldText(Block + 33, 30, Decoder);
    Album = FieldText(Block + 63, 30, Decoder);
    Year = FieldText(Block + 93, 4, Decoder);
    if (v11) {
        Comment = FieldText(Block + 97, 28, Decoder);
        TrackNumber = track;
    } else {
        Comment = FieldText(Block + 97, 30, Decoder);
    }
    GenreIndex = Block[127];
}

std::string TID3v1::GenreName() const {
    if (GenreIndex < GenreNames.size())
        return std::string(GenreNames[GenreIndex]);
    return {};
}
