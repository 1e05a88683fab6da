#pragma once

#include "tools/builder/catalog_model.h"

#include <fstream>
#include <memory>

namespace build {

/// A catalog written in the plain table script (TABLE / COLUMN / PRIMARYKEY / ROW lines,
/// values separated by TAB, \N for Null, \t \n \r \\ escaped). The file is read twice:
/// once for the tables, then once more for each table's rows, so a large script is never
/// held in memory.
class ScriptSource : public CatalogSource {
public:
    /// Reads the tables of the script at `path`. Throws BuildError.
    explicit ScriptSource(const std::string &path);
    const std::vector<TableDef> &tables() const override { return m_tables; }
    void forEachRow(std::size_t index, const std::function<void(const std::vector<Value> &)> &row) override;

    /// Whether the file at `path` starts like a table script.
    static bool looksLikeScript(const std::string &path);

private:
    std::string m_path;
    std::ifstream m_in;
    std::vector<TableDef> m_tables;
    std::vector<std::streamoff> m_rowsAt;  // where each table's ROW lines start
    std::vector<std::size_t> m_firstLine;
};

}  // namespace build
