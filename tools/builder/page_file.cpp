#include "tools/builder/page_file.h"

#include "tools/builder/catalog_model.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace build::writer {

PageFile::PageFile(const std::string &finalPath, const jet::layout::Layout &layout)
    : m_final(finalPath), m_layout(layout), m_pageSize(layout.pageSize),
      // A page/row pointer keeps the page number in 24 bits, below every version's limit.
      m_maxPages(std::min<std::uint64_t>(layout.maxFileBytes / layout.pageSize, 0xffffffu))
{
    const std::filesystem::path target(finalPath);
    m_temp = (target.parent_path() / ("." + target.filename().string() + ".part-" + std::to_string(getpid()))).string();
    m_file = std::fopen(m_temp.c_str(), "w+b");
    if (!m_file)
        throw BuildError("cannot write '" + finalPath + "': " + std::strerror(errno));
}

PageFile::~PageFile()
{
    if (m_file) {
        std::fclose(m_file);
        std::remove(m_temp.c_str());
    }
}

std::uint32_t PageFile::allocate(std::uint32_t count)
{
    const std::uint32_t at = m_next;
    if (std::uint64_t(m_next) + count > m_maxPages)
        throw BuildError("the catalog needs more than the " + std::to_string(m_layout.maxFileBytes >> 30) + " GB a " +
                         m_layout.name + " file can hold");
    m_next += count;
    return at;
}

void PageFile::write(std::uint32_t page, const std::uint8_t *bytes)
{
    const std::uint64_t at = std::uint64_t(page) * m_pageSize;
#ifdef _WIN32
    const bool placed = _fseeki64(m_file, std::int64_t(at), SEEK_SET) == 0;
#else
    const bool placed = fseeko(m_file, off_t(at), SEEK_SET) == 0;
#endif
    if (!placed || std::fwrite(bytes, 1, m_pageSize, m_file) != m_pageSize)
        throw BuildError("cannot write '" + m_final + "': " + std::strerror(errno));
}

void PageFile::commit()
{
    const bool ok = std::fflush(m_file) == 0;
    const int closed = std::fclose(m_file);
    m_file = nullptr;
    std::error_code ec;
    if (ok && closed == 0)
        std::filesystem::rename(m_temp, m_final, ec);
    if (!ok || closed != 0 || ec) {
        std::remove(m_temp.c_str());
        throw BuildError("cannot write '" + m_final + "': " + (ec ? ec.message() : std::strerror(errno)));
    }
}

}  // namespace build::writer
