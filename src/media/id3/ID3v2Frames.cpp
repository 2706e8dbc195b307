// The framing of an ID3v2 tag (see ID3v2Frames.h).
#include "media/id3/ID3v2Frames.h"

#include "media/toolkit/MediaFile.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace {

// What one read from the file asks for at most.
constexpr std::size_t Chunk = 4096;

} // namespace

std::size_t Resynchronise(unsigned char* Bytes, std::size_t Length, bool& AfterFF) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < Length; ++i) {
        const unsigned char b = Bytes[i];
        if (AfterFF && b == 0x00) {
            AfterFF = false;
            continue;
        }
        AfterFF = b == 0xFF;
        Bytes[kept++] = b;
    }
    return kept;
}

TTagBody::TTagBody(TMediaFile& File, std::int64_t Start, std::int64_t End, bool Unsynchronised)
    : file_(File), position_(Start), end_(End), unsynchronised_(Unsynchronised) {}

std::size_t TTagBody::Read(unsigned char* Out, std::size_t Count) {
    std::size_t got = 0;
    while (got < Count && position_ < end_) {
        const std::size_t want = std::min<std::size_t>(Count - got, Chunk);
        // Unsynchronised, a zero may drop out of every second byte at most, so
        // the bytes asked for are all read before the file bytes give out.
        const std::size_t take = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(want), end_ - position_));
        const unsigned char* bytes = file_.Bytes(position_, take);
        if (!bytes)
            return got;
        if (!unsynchronised_) {
            std::memcpy(Out + got, bytes, take);
            got += take;
            position_ += static_cast<std::int64_t>(take);
            continue;
        }
        // One byte at a time, so that the read stops exactly behind the last
        // byte it gives and the next read goes on from there.
        std::size_t used = 0;
        while (used < take && got < Count) {
            const unsigned char b = bytes[used++];
            if (afterFF_ && b == 0x00) {
                afterFF_ = false;
                continue;
            }
            afterFF_ = b == 0xFF;
            Out[got++] = b;
        }
        position_ += static_cast<std::int64_t>(used);
    }
    return got;
}

bool TTagBody::Skip(std::uint64_t Count) {
    if (!unsynchronised_) {
        if (!Holds(Count)) {
            // Nothing after a frame that runs past the end is read.
            position_ = end_;
            return false;
        }
        position_ += static_cast<std::int64_t>(Count);
        return true;
    }
    unsigned char scratch[Chunk];
    while (Count > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(Count, Chunk));
        const std::size_t got = Read(scratch, want);
        if (got == 0) {
            position_ = end_;
            return false;
        }
        Count -= got;
    }
    return true;
}

bool ReadFrameData(TTagBody& Body, std::uint64_t Size, const TFrameCoding& Coding,
                   std::size_t Prefix, std::size_t Limit, std::string& Out, bool& Cut) {
    Out.clear();
    Cut = false;
    if (!Coding.Compressed && !Coding.Unsynchronised && Prefix == 0 && !Body.Unsynchronised()) {
        // The usual frame: its bytes as stored, read straight into Out.
        const std::size_t keep = static_cast<std::size_t>(std::min<std::uint64_t>(Size, Limit));
        Out.resize(keep);
        const std::size_t got = Body.Read(reinterpret_cast<unsigned char*>(Out.data()), keep);
        Out.resize(got);
        Cut = got == keep && Size > keep;
        const std::uint64_t left = Size - got;
        return left == 0 || Body.Skip(left) || Cut;
    }
    z_stream zip{};
    if (Coding.Compressed && inflateInit(&zip) != Z_OK)
        return Body.Skip(Size), false;
    bool ok = true, ended = false, afterFF = false;
    unsigned char chunk[Chunk];
    std::uint64_t left = Size;
    while (left > 0 && !ended) {
        const std::size_t got =
            Body.Read(chunk, static_cast<std::size_t>(std::min<std::uint64_t>(left, Chunk)));
        if (got == 0)
            break;
        left -= got;
        std::size_t length = Coding.Unsynchronised ? Resynchronise(chunk, got, afterFF) : got;
        // The flags' extra bytes come first, unsynchronised with the data.
        const std::size_t dropped = std::min(length, Prefix);
        Prefix -= dropped;
        length -= dropped;
        unsigned char* bytes = chunk + dropped;
        if (length == 0)
            continue;
        if (!Coding.Compressed) {
            const std::size_t room = Limit - Out.size();
            Out.append(reinterpret_cast<const char*>(bytes), std::min(length, room));
            if (length > room) {
                Cut = true;
                ended = true;
            }
            continue;
        }
        // Inflated into the room left below Limit and no further: a small
        // frame that claims to hold gigabytes costs no more than a short one.
        // Once the room is full, one byte more says whether the text goes on.
        zip.next_in = bytes;
        zip.avail_in = static_cast<uInt>(length);
        while (!ended) {
            const std::size_t before = Out.size();
            const bool full = before == Limit;
            // Not full, inflate stops only when it has used all its input.
            if (!full && zip.avail_in == 0)
                break;
            unsigned char spare;
            if (full) {
                zip.next_out = &spare;
                zip.avail_out = 1;
            } else {
                Out.resize(Limit);
                zip.next_out = reinterpret_cast<Bytef*>(Out.data() + before);
                zip.avail_out = static_cast<uInt>(Limit - before);
            }
            const int result = inflate(&zip, Z_NO_FLUSH);
            if (!full)
                Out.resize(Limit - zip.avail_out);
            if (full && zip.avail_out == 0) {
                Cut = true;
                ended = true;
            } else if (result == Z_STREAM_END) {
                ended = true;
            } else if (full && result == Z_BUF_ERROR) {
                break; // more input wanted
            } else if (result != Z_OK) {
                ok = false;
                ended = true;
            }
        }
    }
    if (Coding.Compressed)
        inflateEnd(&zip);
    if (left > 0 && !Body.Skip(left))
        ok = ok && !Coding.Compressed && Cut;
    return ok;
}
