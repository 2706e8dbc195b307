// The framing of an ID3v2 tag: its bytes as the frames see them (the
// unsynchronisation of a whole version 2 or 3 tag undone), the extended
// header, and each frame's data with its own unsynchronisation and
// compression undone, always within a bound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class TMediaFile;

// The bytes of a tag after its header. Unsynchronised, each 0x00 that follows
// a 0xFF is dropped, so a skip has to read what it passes over; as stored, a
// skip is a change of position.
class TTagBody {
public:
    TTagBody(TMediaFile& File, std::int64_t Start, std::int64_t End, bool Unsynchronised);

    // Copies up to Count bytes to Out and moves on; returns how many there were.
    std::size_t Read(unsigned char* Out, std::size_t Count);
    // Passes over Count bytes; false when the tag ended first.
    bool Skip(std::uint64_t Count);
    // Where the next byte comes from in the file.
    std::int64_t FilePosition() const { return position_; }
    // Whether the whole tag is unsynchronised (versions 2 and 3).
    bool Unsynchronised() const { return unsynchronised_; }
    // Whether Count more bytes lie within the file (as stored; unsynchronised
    // they may be fewer).
    bool Holds(std::uint64_t Count) const {
        return Count <= static_cast<std::uint64_t>(end_ - position_);
    }

private:
    TMediaFile& file_;
    std::int64_t position_;
    std::int64_t end_;
    bool unsynchronised_;
    bool afterFF_ = false;
};

// How a frame's data is stored.
struct TFrameCoding {
    bool Unsynchronised = false; // this frame's own (version 4)
    bool Compressed = false;     // zlib
};

// Reads Size bytes of frame data from Body (or what the tag holds of them),
// passes over the first Prefix bytes of what they read as once undone (the
// bytes the frame's flags add) and keeps at most Limit bytes of the rest; Out
// is replaced.
// Cut says whether the data went on past Limit. False when compressed data is
// not a zlib stream; whatever happens, Body ends up behind the frame.
bool ReadFrameData(TTagBody& Body, std::uint64_t Size, const TFrameCoding& Coding,
                   std::size_t Prefix, std::size_t Limit, std::string& Out, bool& Cut);

// Removes the 0x00 after each 0xFF in place; AfterFF carries the state from
// one piece of a text to the next. Returns the new length.
std::size_t Resynchronise(unsigned char* Bytes, std::size_t Length, bool& AfterFF);
