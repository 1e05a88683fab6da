#pragma once

#include "jet/protocol.h"
#include "jet/stored_type.h"

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace reader {

/// A refusal with its reason: the request fails, the reader goes on.
class Refusal : public std::runtime_error {
public:
    Refusal(jet::protocol::Fault fault, const std::string &detail)
        : std::runtime_error(detail), fault(fault) {}
    jet::protocol::Fault fault;
};

/// Receives one table as the guarded read produces it.
class TableWriter {
public:
    virtual ~TableWriter() = default;
    /// The columns sent, and the number of rows the table's definition declares.
    virtual void columns(const std::vector<jet::Column> &columns, std::uint32_t declaredRows) = 0;
    /// One cell of the current row; `endRow` closes the row.
    virtual void nullCell() = 0;
    virtual void integerCell(std::int64_t value) = 0;
    virtual void realCell(double value) = 0;
    virtual void textCell(const std::string &utf8) = 0;
    virtual void bytesCell(const std::string &bytes) = 0;
    virtual void endRow() = 0;
};

/// A Jet 3, Jet 4.0 or ACE file opened for reading: the catalog, the table definitions, pages,
/// usage maps, rows, values and memo chains are walked here, every count, offset and length
/// checked against what holds it before it is used.
class GuardedFile {
public:
    /// Checks the file (exists, a format that is read, neither encrypted nor protected by a
    /// password, whole pages, the catalog table's definition) and reads the catalog once.
    /// Throws Refusal. `beforeParse` runs once the file is open and mapped, before any byte
    /// of it is looked at; it gets the file's descriptor (-1 where there is none).
    explicit GuardedFile(const std::string &path, const std::function<void(int fd)> &beforeParse = {});
    ~GuardedFile();
    GuardedFile(const GuardedFile &) = delete;
    GuardedFile &operator=(const GuardedFile &) = delete;

    const std::vector<std::string> &userTables() const { return m_userTables; }

    /// Streams one user table into `writer`; returns the number of rows. Throws Refusal.
    std::uint32_t readTable(const std::string &name, TableWriter &writer);

private:
    struct Impl;
    Impl *d;
    std::vector<std::string> m_userTables;
};

}  // namespace reader
