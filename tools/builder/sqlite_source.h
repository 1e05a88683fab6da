#pragma once

#include "tools/builder/catalog_model.h"

struct sqlite3;

namespace build {

/// A catalog kept in a SQLite database: every table in the order it was created, its
/// columns in order, storage types from the declared types (see `storageForDeclared`),
/// an AUTOINCREMENT column or an INTEGER PRIMARY KEY as AutoNumber, the primary key kept.
class SqliteSource : public CatalogSource {
public:
    /// Opens `path` read-only and reads its tables. Throws BuildError.
    explicit SqliteSource(const std::string &path);
    ~SqliteSource() override;
    SqliteSource(const SqliteSource &) = delete;
    SqliteSource &operator=(const SqliteSource &) = delete;

    const std::vector<TableDef> &tables() const override { return m_tables; }
    void forEachRow(std::size_t index, const std::function<void(const std::vector<Value> &)> &row) override;

    /// Whether the file at `path` starts with SQLite's header.
    static bool looksLikeSqlite(const std::string &path);

private:
    std::string m_path;
    sqlite3 *m_db = nullptr;
    std::vector<TableDef> m_tables;
};

/// The column a declared type stands for (type, and length or precision and scale):
/// INTEGER Long, SMALLINT Integer, TINYINT Byte, TEXT(n)/VARCHAR(n) Text n, TEXT Memo,
/// REAL/DOUBLE Double, FLOAT Single, MONEY/CURRENCY Currency, DECIMAL(p,s) Decimal,
/// BOOLEAN Yes/No, DATE/DATETIME Date/Time, GUID Replication ID, BLOB OLE Object.
/// Letter case and spaces do not matter. Throws BuildError for any other type.
jet::Column storageForDeclared(const std::string &declared);

}  // namespace build
