// The readers of each container of the other audio formats. Each format's file
// defines its reader and its registration (a TContainerFormat), and AudioTags
// lists the registrations in the order the first bytes are tried. Each reader
// checks every length against the file and gives up quietly on anything it
// does not understand.
#pragma once

#include "media/AudioTags.h"
#include "media/text/TagDecoder.h"
#include "media/toolkit/TagFields.h"

#include <cstddef>
#include <cstdint>

class TMediaFile;

// What one read of a container is asked for and what it found. The length is
// looked for only when asked, so reading tags costs no more reads for it; the
// format is what the reader meets on its way (the MP4 reader walks its audio
// track's boxes for it when asked).
struct TContainerRead {
    explicit TContainerRead(TTagDecoder& TextDecoder) : Decoder(TextDecoder) {}
    // Reads text without a declared encoding (ID3 chunks, RIFF INFO) in the
    // tag code page.
    TTagDecoder& Decoder;
    bool WantTags = true;
    bool WantDuration = false;
    bool WantFormat = true;
    TTagFields Tags;
    std::int64_t DurationMs = -1;
    TContentFormat Format = TContentFormat::Unknown;
};

// One format: whether a file's first bytes announce it (Head holds the first
// Size bytes, at most 16; File serves a look further), and its reader.
struct TContainerFormat {
    TAudioFormat Format;
    bool (*Claims)(TMediaFile& File, const unsigned char* Head, std::size_t Size);
    void (*Read)(TMediaFile& File, TContainerRead& Read);
};

extern const TContainerFormat FlacFormat;
extern const TContainerFormat OggFormat;
extern const TContainerFormat Mp4Format;
extern const TContainerFormat AsfFormat;
extern const TContainerFormat WavFormat;
extern const TContainerFormat AiffFormat;
extern const TContainerFormat ApeFormat;
extern const TContainerFormat MpegFormat;

// The FLAC stream whose "fLaC" marker is at Start.
void ReadFlac(TMediaFile& File, std::int64_t Start, TContainerRead& Read);
// FLAC's metadata block that holds the Vorbis comment, also in Ogg FLAC.
inline constexpr unsigned FlacCommentBlock = 4;
// More blocks than any real file has; a hostile file of empty blocks stops here.
inline constexpr int MaxFlacBlocks = 1024;

// The APEv2 tag at the end of a file (before an ID3v1 tag, if there is one).
void ReadApeTag(TMediaFile& File, TContainerRead& Read);

// A Vorbis comment (vendor, count, "NAME=value" items with little-endian
// lengths), as FLAC, Ogg Vorbis and Opus store it.
void ParseVorbisComment(TByteSource& Source, TTagFields& Fields);
