// The software listings straight from the titles against SQLite running the same statement,
// over catalogs made from the input (repeated, Null and missing keys, equal names, NaN and
// huge prices; see generated_listing.h): the same error, columns, rows, order and values,
// or a finding.

#include "catalog/listing/request.h"
#include "catalog/listing/straight_run.h"
#include "catalog/engine/query_engine.h"
#include "catalog/engine/result_rows.h"
#include "tests/catalog/generated_listing.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The rows of `request` straight from the titles, or with none, of `sql` through SQLite.
std::vector<std::string> listed(engine::QueryEngine &engine, const QString &sql, const listing::Request *request = nullptr)
{
    engine::ResultRows rows;
    const ado::Error error = request ? listing::list(engine, *request, rows) : engine.execute(sql, rows);
    std::vector<std::string> out{error.Description.toStdString()};
    for (int c = 0; c < rows.columnCount(); ++c)
        out.push_back(rows.field(c).Name.toStdString() + ':' + std::to_string(rows.field(c).Type) + ':'
                      + std::to_string(int(rows.storage(c))));
    for (int r = 0; r < rows.rowCount(); ++r) {
        std::string row;
        for (int c = 0; c < rows.columnCount(); ++c)
            row += (rows.isNull(r, c) ? std::string("\\N") : rows.textForm(r, c)) + '|';
        out.push_back(row);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    generated::Bytes bytes(data, size);
    engine::QueryEngine engine(std::make_unique<generated::Source>(generated::listingCatalog(bytes)));
    listing::holdTitles(engine);
    static const char *const kTexts[] = {"zip", "Twin", "twin", "", "_", "%", "Tool", "\xc3\xa9"};
    const QString text = QString::fromUtf8(kTexts[bytes.pick(8)]);
    const int key = int(bytes.pick(6)) - 1;
    const QString id = QString::number(key);
    listing::Request request;
    switch (bytes.pick(5)) {
    case 0: request = listing::Request::allTitles(); break;
    case 1: request = listing::Request::category(id, key); break;
    case 2: request = listing::Request::subCategory(id, key); break;
    case 3: request = listing::Request::search(text); break;
    default: request = listing::Request::title(text); break;
    }
    const std::vector<std::string> straight = listed(engine, QString(), &request),
                                   throughSqlite = listed(engine, request.sql());
    if (straight != throughSqlite) {
        for (std::size_t i = 0; i < std::max(straight.size(), throughSqlite.size()); ++i)
            std::fprintf(stderr, "%s\n    %s\n", i < straight.size() ? straight[i].c_str() : "(none)",
                         i < throughSqlite.size() ? throughSqlite[i].c_str() : "(none)");
        std::abort();
    }
    return 0;
}
