// byte_order.h - reading and writing integers byte by byte, so that no
// alignment is ever assumed. Archives and tBMP resources are big-endian;
// Windows bitmap files are little-endian.
#pragma once

#include <stdint.h>

inline uint16_t ReadBE16(const uint8_t* p)
{
    return static_cast<uint16_t>((static_cast<unsigned>(p[0]) << 8) | p[1]);
}

inline uint32_t ReadBE32(const uint8_t* p)
{
    // Each byte is widened to uint32_t before shifting: p[0] << 24 on a
    // promoted int would be undefined for bytes >= 0x80.
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

inline void WriteBE16(uint8_t* p, uint32_t value)
{
    p[0] = static_cast<uint8_t>(value >> 8);
    p[1] = static_cast<uint8_t>(value);
}

inline void WriteBE32(uint8_t* p, uint32_t value)
{
    WriteBE16(p, value >> 16);
    WriteBE16(p + 2, value);
}

inline uint16_t ReadLE16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (static_cast<unsigned>(p[1]) << 8));
}

inline uint32_t ReadLE32(const uint8_t* p)
{
    return ReadLE16(p) | (static_cast<uint32_t>(ReadLE16(p + 2)) << 16);
}

inline void WriteLE32(uint8_t* p, uint32_t value)
{
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
    p[2] = static_cast<uint8_t>(value >> 16);
    p[3] = static_cast<uint8_t>(value >> 24);
}
