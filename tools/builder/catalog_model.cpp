#include "tools/builder/catalog_model.h"

#include "jet/layout.h"

#include <QString>

#include <algorithm>

namespace build {

using jet::layout::kMaxNameLength;

void checkName(const std::string &name, const std::string &what)
{
    const QString n = QString::fromStdString(name);
    if (n.isEmpty())
        throw BuildError("an empty " + what);
    if (n.size() > int(kMaxNameLength))
        throw BuildError("the " + what + " '" + name + "' is longer than 64 characters");
    if (n.front() == QLatin1Char(' '))
        throw BuildError("the " + what + " '" + name + "' starts with a space");
    for (QChar c : n)
        if (c.unicode() < 0x20 || QStringLiteral(".!`[]").contains(c))
            throw BuildError("the " + what + " '" + name + "' holds a character Jet forbids in names (. ! ` [ ] or a control character)");
}

void checkDistinctNames(const std::vector<TableDef> &tables)
{
    std::vector<QString> tableNames{QStringLiteral("msysobjects")};
    for (const TableDef &t : tables) {
        const QString folded = QString::fromStdString(t.name).toCaseFolded();
        if (std::find(tableNames.begin(), tableNames.end(), folded) != tableNames.end())
            throw BuildError("the table name '" + t.name + "' is used twice (names are compared without regard to case)");
        tableNames.push_back(folded);
        std::vector<QString> columnNames;
        for (const jet::Column &c : t.columns) {
            const QString cf = QString::fromStdString(c.name).toCaseFolded();
            if (std::find(columnNames.begin(), columnNames.end(), cf) != columnNames.end())
                throw BuildError("the column name '" + c.name + "' is used twice in table '" + t.name +
                                 "' (names are compared without regard to case)");
            columnNames.push_back(cf);
        }
    }
}

}  // namespace build
