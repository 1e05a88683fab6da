#pragma once

#include "jet/stored_type.h"

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

/// What a catalog is made of, as the sources hand it to the Jet writer: tables with
/// their columns in order, and rows of loosely typed values that the writer checks
/// against each column's storage type.
namespace build {

struct TableDef {
    std::string name;
    std::vector<jet::Column> columns;  ///< Text: `length` the most characters a value may hold
    std::vector<std::string> primaryKey;  ///< column names, in key order
    /// Per column, what a calculated column is computed by (Access's expression text); empty
    /// where none is given. May be shorter than `columns`.
    std::vector<std::string> expressions;
};

/// A value as the source holds it. Text is UTF-8; Blob is raw bytes.
struct Value {
    enum class Kind { Null, Integer, Real, Text, Blob };
    Kind kind = Kind::Null;
    std::int64_t integer = 0;
    double real = 0.0;
    std::string bytes;
};

/// A build stops with one of these; the message says what and where.
class BuildError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A catalog to build: its tables, then each table's rows in source order.
class CatalogSource {
public:
    virtual ~CatalogSource() = default;
    virtual const std::vector<TableDef> &tables() const = 0;
    /// Calls `row` once per row of table `index`, each with one value per column.
    virtual void forEachRow(std::size_t index, const std::function<void(const std::vector<Value> &)> &row) = 0;
};

/// Refuses names Jet cannot hold: empty, longer than 64 characters, a leading space,
/// control characters, or any of . ! ` [ ].
void checkName(const std::string &name, const std::string &what);

/// Refuses a table or column name that repeats one before it, compared as Jet
/// compares names (without regard to letter case).
void checkDistinctNames(const std::vector<TableDef> &tables);

}  // namespace build
