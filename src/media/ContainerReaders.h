// The readers of each container of the other audio formats, as the dispatch
// in AudioTags calls them. Each checks every length against the file and
// gives up quietly on anything it does not understand.
#pragma once

#include "media/TagDecoder.h"
#include "media/TagFields.h"

#include <cstdint>

class TMediaFile;

// What one read of a container is asked for and what it found. The length is
// looked for only when asked, so reading tags costs no more reads for it.
struct TContainerRead {
    explicit TContainerRead(TTagDecoder& TextDecoder) : Decoder(TextDecoder) {}
    // Reads text without a declared encoding (ID3 chunks, RIFF INFO) in the
    // tag code page.
    TTagDecoder& Decoder;
    bool WantTags = true;
    bool WantDuration = false;
    TTagFields Tags;
    std::int64_t DurationMs = -1;
};

// Milliseconds of Units at Rate units per second; -1 for a rate of 0.
std::int64_t Milliseconds(std::uint64_t Units, std::uint64_t Rate);

// The FLAC stream whose "fLaC" marker is at Start.
void ReadFlac(TMediaFile& File, std::int64_t Start, TContainerRead& Read);
// An Ogg stream of Vorbis, Opus or FLAC.
void ReadOgg(TMediaFile& File, TContainerRead& Read);
// The MP4 family: ISO media files with an "ftyp" box.
void ReadMp4(TMediaFile& File, TContainerRead& Read);
// ASF (WMA) files.
void ReadAsf(TMediaFile& File, TContainerRead& Read);
// RIFF WAVE and AIFF/AIFC files.
void ReadWav(TMediaFile& File, TContainerRead& Read);
void ReadAiff(TMediaFile& File, TContainerRead& Read);
// The APEv2 tag at the end of a file (before an ID3v1 tag, if there is one).
void ReadApeTag(TMediaFile& File, TContainerRead& Read);
// The length of an MPEG audio stream from its first frame: a Xing/Info or a
// VBRI header, or the bit rate of a constant-rate stream; -1 when unknown.
std::int64_t Mp3DurationMs(TMediaFile& File);
