#pragma once

#include "catalog/engine/memory_pages.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

/// Bytes appended at the end; a large buffer grows where it is (the system moves its pages)
/// instead of being copied, so a large column never needs twice its size for a moment, nor
/// the time to copy itself.
class TextBuffer {
public:
    TextBuffer() = default;
    TextBuffer(TextBuffer &&other) noexcept;
    TextBuffer &operator=(TextBuffer &&other) noexcept;
    ~TextBuffer();
    void append(std::string_view bytes)
    {
        char *at = extend(bytes.size());
        if (!bytes.empty())
            std::memcpy(at, bytes.data(), bytes.size());
    }
    /// Adds `n` bytes for the caller to write (their pages untouched until then) and returns
    /// where they start.
    char *extend(std::size_t n)
    {
        if (n > m_capacity - m_size)
            grow(n);
        char *at = m_data + m_size;
        m_size += n;
        return at;
    }
    /// Makes room for `n` bytes in all, without adding any.
    void reserve(std::size_t n);
    /// Puts in place the pages of up to `n` bytes past the end, within the room there is.
    void populateAhead(std::size_t n) const { populatePages(m_data + m_size, std::min(n, m_capacity - m_size)); }
    /// Gives the memory of bytes [begin, end) back to the system (the whole pages within
    /// them), for a buffer that is read no more there and will be freed.
    void release(std::size_t begin, std::size_t end);
    std::size_t size() const { return m_size; }
    std::size_t capacity() const { return m_capacity; }
    operator std::string_view() const { return {m_data, m_size}; }

private:
    void grow(std::size_t n);
    void freeData();

    char *m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
    bool m_mapped = false;  // mapped on its own (a large buffer, on Linux)
};

/// One column's values, kept compact: a Null flag a row (none while the column holds no
/// Null), and the numbers in a plain array (of 32 bits while every one fits) or the texts
/// end to end in one buffer with their offsets. Once filled it is never changed,
/// so that a held table and every result listed from it can share it.
class ColumnValues {
public:
    enum class Storage { Integer, Real, Text };

    explicit ColumnValues(Storage storage) : m_storage(storage) {}
    ColumnValues(const ColumnValues &) = delete;
    ColumnValues &operator=(const ColumnValues &) = delete;
    Storage storage() const { return m_storage; }
    std::size_t size() const { return m_size; }

    // Inline: a large table appends tens of millions of values.
    void appendNull();
    void appendInteger(std::int64_t value)
    {
        if (!m_narrow || value != std::int64_t(std::int32_t(value))) {
            appendWideInteger(value);
            return;
        }
        m_narrowIntegers.push_back(std::int32_t(value));
        pushNullFlag(0);
    }
    void appendReal(double value)
    {
        pushNullFlag(0);
        m_reals.push_back(value);
    }
    /// Throws std::length_error when the column's texts would pass what their offsets reach
    /// (4 GiB: a 2 GB file's texts may pass it as UTF-8, and a damaged one's far more).
    void appendText(std::string_view utf8)
    {
        if (m_text.size() > m_textLimit || utf8.size() > m_textLimit - m_text.size())
            refuseText();
        m_text.append(utf8);
        pushNullFlag(0);
        m_offsets.push_back(std::uint32_t(m_text.size()));
    }
    /// `n` texts whose lengths stand at `lengths` (32-bit, little-endian) and whose bytes stand
    /// end to end at `bytes`; the same limit holds.
    void appendTexts(const char *lengths, const char *bytes, std::size_t n);
    /// What the offsets reach, and so the most a column's texts may take.
    static constexpr std::size_t kTextLimit = std::numeric_limits<std::uint32_t>::max();
    /// Lowers that limit for this column (0 puts it back), so that tests need not fill 4 GiB.
    void setTextLimit(std::size_t bytes) { m_textLimit = bytes ? std::min(bytes, kTextLimit) : kTextLimit; }
    /// Room for `rows` more rows (and `bytes` more text), so that filling does not regrow.
    void reserve(std::size_t rows, std::size_t bytes = 0);
    /// Puts in place the pages that the next `rows` rows will fill, within the room reserved
    /// (texts as long as those so far): a large table is filled with few calls to the system.
    void populateAhead(std::size_t rows) const;

    bool isNull(std::size_t row) const { return m_hasNulls && m_nulls[row] != 0; }
    std::int64_t integer(std::size_t row) const { return m_narrow ? m_narrowIntegers[row] : m_integers[row]; }
    double real(std::size_t row) const { return m_reals[row]; }
    std::string_view text(std::size_t row) const
    {
        const std::uint32_t begin = m_offsets[row];
        return std::string_view(m_text).substr(begin, m_offsets[row + 1] - begin);
    }
    /// One byte a row, 1 for Null; null while the column holds no Null.
    const std::uint8_t *nullFlags() const { return m_hasNulls ? m_nulls.data() : nullptr; }
    std::string_view texts() const { return m_text; }
    const std::uint32_t *offsets() const { return m_offsets.data(); }

    /// Puts the rows in a new order, row i taken from row order[i], where `order` holds each
    /// row once. Texts are copied in the order they stand, on two threads, and each stretch
    /// copied is given back at once: the column is held twice only for a moment.
    void reorder(const std::vector<std::uint32_t> &order);
    /// The same, given where each row goes (placesOf(order)), worked out once for a table's
    /// text columns.
    void reorder(const std::vector<std::uint32_t> &order, const std::vector<std::uint32_t> &place);
    static std::vector<std::uint32_t> placesOf(const std::vector<std::uint32_t> &order);

    /// Says that the rows stand in the order Jet sorts the column's values in (Nulls first),
    /// as whoever put them there knows; with `runStarts` (a byte a row, 1 where the row's
    /// value is not the one before it) where each run of equal values begins, which saves a
    /// descending sort from comparing every row with the next.
    void markInOrder(std::vector<std::uint8_t> runStarts = {})
    {
        m_inOrder = true;
        m_runStarts = std::move(runStarts);
    }
    bool inOrder() const { return m_inOrder; }
    /// Whether the runs were marked.
    bool hasRuns() const { return !m_runStarts.empty(); }
    /// Whether a row after `a`, up to `b` (a <= b, both in order), holds another value than
    /// row `a`: known only where the runs were marked.
    bool newValueWithin(std::size_t a, std::size_t b) const
    {
        for (std::size_t row = a + 1; row <= b; ++row)
            if (m_runStarts[row])
                return true;
        return false;
    }

    /// True when a text column holds nothing but ASCII (checked once).
    bool isAscii() const;

    /// A text column's texts with letter case folded, end to end: row r's is
    /// texts[offsets[r], offsets[r + 1]). Built once, on first use, safely from several
    /// threads at once. No offsets (null) when the folded texts would pass `limit` bytes:
    /// then nothing is kept and each text is folded as it is matched.
    struct Folded {
        std::string_view texts;
        const std::uint32_t *offsets = nullptr;
        const std::uint64_t *marks = nullptr;  // jettext::letterMarks() of each row's
    };
    Folded folded(std::size_t limit) const;
    /// Appends the folded texts of rows [begin, end) to `text`, and each one's end to `ends`.
    void appendFolded(std::size_t begin, std::size_t end, std::string &text, std::vector<std::uint32_t> &ends) const;

    /// Bytes held, for the benchmark's accounting.
    std::size_t byteSize() const;

private:
    void buildFolded(std::size_t limit) const;
    void markLetters(const char *texts, const std::uint32_t *offsets, std::size_t begin, std::size_t end) const;
    bool foldAscii() const;

    void pushNullFlag(std::uint8_t flag)
    {
        if (flag || m_hasNulls)
            pushNullFlagSlow(flag);
        else
            ++m_size;
    }
    void pushNullFlagSlow(std::uint8_t flag);
    void appendWideInteger(std::int64_t value);
    [[noreturn]] static void refuseText();


    Storage m_storage;
    std::size_t m_size = 0;
    std::size_t m_textLimit = kTextLimit;
    bool m_inOrder = false;
    std::vector<std::uint8_t> m_runStarts;  // empty unless marked with the order
    bool m_hasNulls = false;
    std::vector<std::uint8_t> m_nulls;  // empty until the first Null
    bool m_narrow = true;               // the integers are m_narrowIntegers
    std::vector<std::int32_t> m_narrowIntegers;
    std::vector<std::int64_t> m_integers;
    std::vector<double> m_reals;
    TextBuffer m_text;
    std::vector<std::uint32_t> m_offsets{0};

    mutable std::once_flag m_asciiOnce;
    mutable bool m_ascii = false;
    mutable std::once_flag m_foldedOnce;
    mutable TextBuffer m_foldedText;
    mutable std::vector<std::uint32_t> m_foldedOffsets;
    mutable std::vector<std::uint64_t> m_foldedMarks;
    mutable bool m_foldedKeepsOffsets = false;  // ASCII text: folded rows lie where they did
    mutable bool m_foldedByRow = false;         // past the folded byte limit: none kept
};

}  // namespace engine
