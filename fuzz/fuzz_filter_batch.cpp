// The recordset's batch filter against its row-by-row matching: a filter (the input up to
// its first zero byte) over rows made from the rest, every row marked at once (the folded
// columns, the SSE2 Contains) as the recordset does on two threads, each mark checked
// against matches() on that row alone. A difference is a finding.

#include "catalog/criteria/record_criteria.h"
#include "catalog/engine/result_rows.h"
#include "catalog/engine/two_threads.h"

#include <QString>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

// Rows are texts split at 0x01; 0x02 alone is Null. Each text fills Name, the next Company
// Name, and its length and first byte give the numbers, so rows of every length meet every
// kind of field.
engine::ResultRows rowsFrom(std::string_view data, bool many)
{
    engine::ResultRows r;
    r.addColumn(QStringLiteral("Name"), ado::adVarWChar);
    r.addColumn(QStringLiteral("Company Name"), ado::adVarWChar);
    r.addColumn(QStringLiteral("Price"), ado::adDouble);
    r.addColumn(QStringLiteral("Downloads"), ado::adInteger);
    r.addColumn(QStringLiteral("Added"), ado::adDate);
    r.addColumn(QStringLiteral("Free"), ado::adBoolean);
    std::vector<std::string_view> texts;
    for (std::size_t at = 0; at <= data.size();) {
        const std::size_t end = std::min(data.find('\x01', at), data.size());
        texts.push_back(data.substr(at, end - at));
        at = end + 1;
    }
    // Past one thread's share, so that folding and matching split in two as for a large
    // listing.
    const std::size_t count = many ? engine::kTwoThreadMinimum + texts.size() : texts.size();
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view name = texts[i % texts.size()], company = texts[(i + 1) % texts.size()];
        const auto text = [&](int column, std::string_view t) {
            if (t == "\x02")
                r.setNull(column);
            else
                r.setText(column, t);
        };
        text(0, name);
        text(1, company);
        const unsigned first = name.empty() ? 0 : static_cast<unsigned char>(name[0]);
        r.setReal(2, double(first) * 0.25 - 10);
        r.setInteger(3, std::int64_t(name.size()) * 100 - 1);
        r.setReal(4, 36000 + double(first) * 37.5);
        r.setInteger(5, first & 1);
        r.endRow();
    }
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const std::size_t split = std::min(input.find('\0'), input.size());
    const QString expression = QString::fromUtf8(input.data(), qsizetype(split));
    std::string_view rest = split < input.size() ? input.substr(split + 1) : std::string_view();
    // The first byte after the filter: whether the rows are many, and where the two
    // threads divide them.
    const unsigned shape = rest.empty() ? 0 : static_cast<unsigned char>(rest[0]);
    if (!rest.empty())
        rest.remove_prefix(1);
    const engine::ResultRows rows = rowsFrom(rest, (shape & 0xe0) == 0xe0);
    std::unique_ptr<criteria::Predicate> predicate;
    if (criteria::parseFilter(expression, rows, predicate) || !predicate)
        return 0;
    predicate->prepare(rows);
    const int all = rows.rowCount();
    const int half = all == 0 ? 0 : int((shape & 0x7f) % unsigned(all + 1));
    std::vector<std::uint8_t> hits(size_t(all) + 1, 0xee);
    std::thread first([&] { predicate->markMatches(rows, 0, half, hits.data()); });
    predicate->markMatches(rows, half, all, hits.data() + half);
    first.join();
    for (int row = 0; row < all; ++row)
        if (hits[size_t(row)] != (predicate->matches(rows, row) ? 1 : 0)) {
            std::fprintf(stderr, "row %d of %d: marked %d, matched alone %d\n", row, all, hits[size_t(row)],
                         predicate->matches(rows, row) ? 1 : 0);
            std::abort();
        }
    if (hits[size_t(all)] != 0xee)
        std::abort();  // marked past the end
    return 0;
}
