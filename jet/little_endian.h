#pragma once

#include <cstdint>
#include <cstring>
#include <string>

/// Jet keeps its numbers little-endian, and so does the reader's pipe: reading them from a
/// page, putting them into a page being built, and appending them to a frame.
namespace jet::le {

inline std::uint16_t get16(const unsigned char *p) { return std::uint16_t(p[0] | (p[1] << 8)); }
inline std::uint32_t get32(const unsigned char *p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}
inline std::uint64_t get64(const unsigned char *p) { return std::uint64_t(get32(p)) | (std::uint64_t(get32(p + 4)) << 32); }

inline void put16(unsigned char *p, std::uint32_t v)
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}
inline void put32(unsigned char *p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = std::uint8_t(v >> (8 * i));
}
inline void put64(unsigned char *p, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        p[i] = std::uint8_t(v >> (8 * i));
}

inline void append32(std::string &out, std::uint32_t v)
{
    unsigned char b[4];
    put32(b, v);
    out.append(reinterpret_cast<const char *>(b), 4);
}
inline void append64(std::string &out, std::uint64_t v)
{
    unsigned char b[8];
    put64(b, v);
    out.append(reinterpret_cast<const char *>(b), 8);
}

/// The bits of a double or float as Jet stores them, and back.
inline std::uint64_t bitsOf(double d)
{
    std::uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return u;
}
inline std::uint32_t bitsOf(float f)
{
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}
inline double doubleOf(std::uint64_t bits)
{
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}
inline float floatOf(std::uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

}  // namespace jet::le
