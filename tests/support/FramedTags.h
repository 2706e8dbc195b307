// ID3v2 framing for the tests: unsynchronised and deflated bytes as taggers
// write them.
#pragma once

#include <string>

#include <gtest/gtest.h>
#include <zlib.h>

namespace tagbytes {

// Each 0xFF followed by a zero byte is written as 0xFF 0x00 0x00, and one
// followed by a byte of 0xE0 or above (or at the end) as 0xFF 0x00 0xNN.
inline std::string Unsynchronised(const std::string& Bytes) {
    std::string out;
    for (std::size_t i = 0; i < Bytes.size(); ++i) {
        out += Bytes[i];
        const auto b = static_cast<unsigned char>(Bytes[i]);
        const int next = i + 1 < Bytes.size() ? static_cast<unsigned char>(Bytes[i + 1]) : -1;
        if (b == 0xFF && (next < 0 || next == 0 || next >= 0xE0))
            out += '\0';
    }
    return out;
}

inline std::string Deflated(const std::string& Bytes) {
    uLongf size = compressBound(static_cast<uLong>(Bytes.size()));
    std::string out(size, '\0');
    EXPECT_EQ(compress(reinterpret_cast<Bytef*>(out.data()), &size,
                       reinterpret_cast<const Bytef*>(Bytes.data()),
                       static_cast<uLong>(Bytes.size())),
              Z_OK);
    out.resize(size);
    return out;
}

} // namespace tagbytes
