// MPEG audio streams (MP3 and its layers), behind an ID3v2 tag or not.
#pragma once

#include <cstdint>

class TMediaFile;

// The length of an MPEG audio stream from its first frame: a Xing/Info or a
// VBRI header, or the bit rate of a constant-rate stream; -1 when unknown.
std::int64_t Mp3DurationMs(TMediaFile& File);

// Whether Bytes (at least 4) are a frame header of MPEG audio: the sync bits
// and a version, layer, bit rate and sample rate that are not reserved.
bool IsMpegAudioFrame(const unsigned char* Bytes);

// Whether MPEG audio starts at Position: a valid frame header there, or after
// zero bytes (padding that a tag before it did not count) within the next
// few KiB.
bool MpegAudioAt(TMediaFile& File, std::int64_t Position);

// Whether Bytes (at least 2) start a frame: the 11 sync bits.
inline bool IsMpegFrameSync(const unsigned char* Bytes) {
    return Bytes[0] == 0xFF && (Bytes[1] & 0xE0) == 0xE0;
}
