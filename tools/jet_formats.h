#pragma once

// The Jet and ACE file formats as their header page tells them apart: what a reader
// accepts and a writer would put. Plain C++ (no Qt, no libmdb).

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace jetformat {

constexpr std::size_t kMagicOffset = 4;  // after the header page's kind byte and three more
constexpr std::size_t kMagicSize = 16;   // the engine's name, NUL included
constexpr char kJetMagic[kMagicSize] = "Standard Jet DB";
constexpr char kAceMagic[kMagicSize] = "Standard ACE DB";
constexpr std::size_t kVersionOffset = 0x14;

/// Every format this program reads has 4096-byte pages and the Jet 4.0 page layouts.
constexpr std::uint32_t kPageSize = 4096;

struct Format {
    const char *magic;
    std::uint8_t version;  ///< the byte at kVersionOffset
    const char *name;      ///< as a user knows it
};

/// The formats read, oldest first; the last ACE entry is the newest known.
inline constexpr Format kReadable[] = {
    {kJetMagic, 0x01, "Jet 4.0 (Access 2000 to 2003)"},
    {kAceMagic, 0x02, "ACE 12 (Access 2007)"},
    {kAceMagic, 0x03, "ACE 14 (Access 2010)"},
    {kAceMagic, 0x05, "ACE 16 (Access 2013 and 2016)"},
    {kAceMagic, 0x06, "ACE 17 (Access 2019)"},
};
/// Jet 3 (Access 95 and 97): 2048-byte pages and other layouts, not read.
constexpr std::uint8_t kJet3Version = 0x00;

/// The stretch of the header page that is masked with RC4 under a fixed key, and what lies in it.
constexpr std::size_t kMaskedStart = 0x18;
constexpr std::size_t kMaskedSize = 128;
constexpr unsigned char kMaskKey[4] = {0xc7, 0xda, 0x39, 0x6b};
constexpr std::size_t kEncodingKeyOffset = 0x3e;  ///< 4 bytes: not all zero when the pages are encrypted
constexpr std::size_t kPasswordOffset = 0x42;     ///< 40 bytes, masked with the creation date's whole days
constexpr std::size_t kPasswordSize = 40;
constexpr std::size_t kCreationDateOffset = 0x72;  ///< a double, days since 1899-12-30

/// The readable format at the start of `header` (at least kVersionOffset + 1 bytes), or null.
inline const Format *readableFormat(const unsigned char *header)
{
    for (const Format &f : kReadable)
        if (std::memcmp(header + kMagicOffset, f.magic, kMagicSize) == 0 && header[kVersionOffset] == f.version)
            return &f;
    return nullptr;
}

/// Unmasks the masked part of a header page copy (RC4: the same step masks and unmasks).
inline void unmaskHeader(unsigned char *header)
{
    unsigned char s[256];
    for (int i = 0; i < 256; ++i)
        s[i] = static_cast<unsigned char>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + kMaskKey[i % sizeof kMaskKey]) & 0xff;
        const unsigned char t = s[i];
        s[i] = s[j];
        s[j] = t;
    }
    for (std::size_t n = 0, i = 0, j = 0; n < kMaskedSize; ++n) {
        i = (i + 1) & 0xff;
        j = (j + s[i]) & 0xff;
        const unsigned char t = s[i];
        s[i] = s[j];
        s[j] = t;
        header[kMaskedStart + n] ^= s[(s[i] + s[j]) & 0xff];
    }
}

}  // namespace jetformat
