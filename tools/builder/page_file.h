#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace build::writer {

/// The file under its temporary name in the target's folder: pages written at their places,
/// removed unless `commit` renames it into place, so a failed build leaves nothing behind.
/// Throws BuildError.
class PageFile {
public:
    PageFile(const std::string &finalPath, std::uint32_t pageSize);
    ~PageFile();
    PageFile(const PageFile &) = delete;
    PageFile &operator=(const PageFile &) = delete;
    /// The first of `count` new pages.
    std::uint32_t allocate(std::uint32_t count = 1);
    std::uint32_t pageCount() const { return m_next; }
    void write(std::uint32_t page, const std::uint8_t *bytes);
    void commit();

private:
    std::string m_final, m_temp;
    std::uint32_t m_pageSize;
    std::FILE *m_file = nullptr;
    std::uint32_t m_next = 0;
};

}  // namespace build::writer
