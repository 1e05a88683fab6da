#pragma once

#include "jet/layout.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace build::writer {

/// The file under its temporary name in the target's folder: pages written at their places,
/// removed unless `commit` renames it into place, so a failed build leaves nothing behind.
/// It holds no more pages than a file of its layout may (2 GB for Jet 4.0 and ACE, 1 GB for
/// Jet 3). Throws BuildError.
class PageFile {
public:
    PageFile(const std::string &finalPath, const jet::layout::Layout &layout);
    ~PageFile();
    PageFile(const PageFile &) = delete;
    PageFile &operator=(const PageFile &) = delete;
    /// The first of `count` new pages; refuses pages past the file's limit.
    std::uint32_t allocate(std::uint32_t count = 1);
    std::uint32_t pageCount() const { return m_next; }
    void write(std::uint32_t page, const std::uint8_t *bytes);
    void commit();

private:
    std::string m_final, m_temp;
    const jet::layout::Layout &m_layout;
    std::uint32_t m_pageSize;
    std::uint64_t m_maxPages;
    std::FILE *m_file = nullptr;
    std::uint32_t m_next = 0;
};

}  // namespace build::writer
