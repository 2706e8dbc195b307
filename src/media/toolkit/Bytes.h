// Numbers from raw bytes as the formats store them: little and big endian, and
// the sync-safe integers of ID3v2.
#pragma once

#include <cstdint>

inline std::uint32_t LittleEndian16(const unsigned char* b) {
    return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8);
}
inline std::uint32_t LittleEndian32(const unsigned char* b) {
    return LittleEndian16(b) | (LittleEndian16(b + 2) << 16);
}
inline std::uint64_t LittleEndian64(const unsigned char* b) {
    return LittleEndian32(b) | (static_cast<std::uint64_t>(LittleEndian32(b + 4)) << 32);
}
inline std::uint32_t BigEndian16(const unsigned char* b) {
    return (static_cast<std::uint32_t>(b[0]) << 8) | b[1];
}
inline std::uint32_t BigEndian24(const unsigned char* b) {
    return (static_cast<std::uint32_t>(b[0]) << 16) | BigEndian16(b + 1);
}
inline std::uint32_t BigEndian32(const unsigned char* b) {
    return (BigEndian16(b) << 16) | BigEndian16(b + 2);
}
inline std::uint64_t BigEndian64(const unsigned char* b) {
    return (static_cast<std::uint64_t>(BigEndian32(b)) << 32) | BigEndian32(b + 4);
}

// Four 7-bit groups, most significant first. Each byte is used whole, as the
// readers these tags were written for did: a byte with its top bit set simply
// makes the number larger.
inline std::uint32_t SyncSafe32(const unsigned char* b) {
    return static_cast<std::uint32_t>(b[0]) * 2097152u + static_cast<std::uint32_t>(b[1]) * 16384u +
           static_cast<std::uint32_t>(b[2]) * 128u + b[3];
}
