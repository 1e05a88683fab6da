#pragma once

#include "jet/layout.h"
#include "jet/little_endian.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace build::writer {

using Bytes = std::vector<std::uint8_t>;

/// A data page being filled: rows from the end of the page towards its offset table.
class DataPage {
public:
    explicit DataPage(const jet::layout::Layout &l) : m_l(l), m_bytes(l.pageSize) {}
    void start(const std::uint8_t owner[4], std::uint32_t number)
    {
        std::fill(m_bytes.begin(), m_bytes.end(), 0);
        m_bytes[0] = jet::layout::PageKind::Data;
        m_bytes[1] = 1;
        std::memcpy(&m_bytes[4], owner, 4);
        m_rows = 0;
        m_freeEnd = m_l.pageSize;
        m_number = number;
        m_open = true;
    }
    bool open() const { return m_open; }
    std::uint32_t number() const { return m_number; }
    unsigned rows() const { return m_rows; }
    bool fits(std::size_t size) const
    {
        return m_rows < jet::layout::kMaxRowsPerPage && m_l.dataRowOffsets + 2 * (m_rows + 1) + size <= m_freeEnd;
    }
    /// Largest row a fresh page takes.
    std::size_t capacity() const { return m_l.pageSize - m_l.dataRowOffsets - 2; }
    unsigned add(const std::uint8_t *row, std::size_t size)
    {
        m_freeEnd -= unsigned(size);
        std::memcpy(&m_bytes[m_freeEnd], row, size);
        jet::le::put16(&m_bytes[m_l.dataRowOffsets + 2 * m_rows], m_freeEnd);
        return m_rows++;
    }
    const std::uint8_t *finish()
    {
        jet::le::put16(&m_bytes[2], m_freeEnd - (m_l.dataRowOffsets + 2 * m_rows));
        jet::le::put16(&m_bytes[m_l.dataRowCount], m_rows);
        m_open = false;
        return m_bytes.data();
    }

private:
    const jet::layout::Layout &m_l;
    Bytes m_bytes;
    unsigned m_rows = 0;
    unsigned m_freeEnd = 0;
    std::uint32_t m_number = 0;
    bool m_open = false;
};

}  // namespace build::writer
