// Feeds the recordset's Sort and Filter parsers arbitrary text, and evaluates every filter
// that parses over a few rows of each kind of field.

#include "catalog/criteria/record_criteria.h"
#include "catalog/engine/result_rows.h"

#include <QString>

#include <cstdint>

namespace {

const engine::ResultRows &sampleRows()
{
    static const engine::ResultRows rows = [] {
        engine::ResultRows r;
        r.addColumn(QStringLiteral("Name"), ado::adVarWChar);
        r.addColumn(QStringLiteral("Company Name"), ado::adVarWChar);
        r.addColumn(QStringLiteral("Price"), ado::adDouble);
        r.addColumn(QStringLiteral("Downloads"), ado::adInteger);
        r.addColumn(QStringLiteral("Added"), ado::adDate);
        r.addColumn(QStringLiteral("Free"), ado::adBoolean);
        const char *names[] = {"Zip Tool", "o'malley", "\xc3\x89toile", ""};
        for (int i = 0; i < 4; ++i) {
            r.setText(0, names[i]);
            if (i == 2)
                r.setNull(1);
            else
                r.setText(1, "Acme %");
            r.setReal(2, 9.95 * i);
            r.setInteger(3, i * 1000 - 1);
            r.setReal(4, 45000.5 + i);
            r.setInteger(5, i % 2);
            r.endRow();
        }
        return r;
    }();
    return rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const engine::ResultRows &rows = sampleRows();
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    std::vector<criteria::SortKey> keys;
    (void)criteria::parseSort(text, rows, keys);
    std::unique_ptr<criteria::Predicate> predicate;
    if (!criteria::parseFilter(text, rows, predicate) && predicate)
        for (int row = 0; row < rows.rowCount(); ++row)
            (void)predicate->matches(rows, row);
    return 0;
}
