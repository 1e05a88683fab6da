#include "catalog/criteria/record_sort.h"

#include "catalog/jettext/jet_text.h"
#include "catalog/engine/keyed_sort.h"
#include "catalog/engine/result_rows.h"
#include "catalog/engine/two_threads.h"

#include <QString>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <limits>
#include <numeric>
#include <string_view>
#include <unordered_map>

namespace criteria {

namespace {

using engine::keyed_sort::KeyedRow;
using engine::keyed_sort::sortKeyed;

// A row's sort value as an unsigned number whose plain order is the value's order.
std::uint64_t orderedBits(std::int64_t value)
{
    return std::uint64_t(value) ^ (std::uint64_t(1) << 63);
}

std::uint64_t orderedBits(double value)
{
    if (value == 0)
        value = 0;  // -0 sorts with 0
    const auto bits = std::bit_cast<std::uint64_t>(value);
    return (bits & (std::uint64_t(1) << 63)) ? ~bits : bits | (std::uint64_t(1) << 63);
}

// Prices and money hold a few decimals: counted in cents (or ten-thousandths) from the
// least value, their keys differ only in their low bytes, and the radix sort passes over no
// other byte. Left as they are when any value is not exactly such a number.
void narrowRealKeys(std::vector<engine::keyed_sort::NumberRow> &numbers, const engine::ResultRows &r, int column)
{
    constexpr double kScale = 10000;
    constexpr double kWholeLimit = 4611686018427387904.0;  // 2^62: two such wholes' difference fits 64 bits
    constexpr std::int64_t kPerCent = 100;
    std::int64_t leasts[2] = {std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::max()};
    bool inCents[2] = {true, true};
    std::atomic<bool> wholes{true};
    engine::inTwoHalves(numbers.size(), [&](int part, std::size_t begin, std::size_t end) {
        std::int64_t least = leasts[part];
        bool cents = true;
        for (std::size_t i = begin; i < end; ++i) {
            engine::keyed_sort::NumberRow &n = numbers[i];
            const double value = r.real(n.row, column);
            const double scaled = std::nearbyint(value * kScale);
            if (!(std::fabs(scaled) < kWholeLimit) || scaled / kScale != value) {
                wholes = false;
                return;
            }
            const auto whole = std::int64_t(scaled);
            n.key = std::uint64_t(whole);
            least = std::min(least, whole);
            cents = cents && whole % kPerCent == 0;
        }
        leasts[part] = least;
        inCents[part] = cents;
    });
    if (!wholes) {
        engine::inTwoHalves(numbers.size(), [&](int, std::size_t begin, std::size_t end) {
            for (std::size_t i = begin; i < end; ++i)
                numbers[i].key = orderedBits(r.real(numbers[i].row, column));
        });
        return;
    }
    const std::int64_t least = std::min(leasts[0], leasts[1]);
    const std::int64_t step = inCents[0] && inCents[1] ? kPerCent : 1;
    engine::inTwoHalves(numbers.size(), [&](int, std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i)
            numbers[i].key = std::uint64_t((std::int64_t(numbers[i].key) - least) / step);
    });
}

// The rows of one recordset put in order: `sorted` holds every row, in sort order.
class Sorter {
public:
    Sorter(const engine::ResultRows &rows, std::vector<int> &sorted) : rows(&rows), sorted(sorted) {}

    void sortAll(const std::vector<criteria::SortKey> &sortKeys)
    {
        sorted.resize(size_t(rows->rowCount()));
        std::iota(sorted.begin(), sorted.end(), 0);
        if (sortKeys.empty())
            return;
        if (sortKeys.size() == 1) {
            sortOneKey(sortKeys.front());
            return;
        }
        const engine::ResultRows &r = *rows;
        const auto &keys = sortKeys;
        // Stable, so rows that tie keep the statement's order in both directions.
        std::stable_sort(sorted.begin(), sorted.end(), [&r, &keys](int a, int b) {
            for (const criteria::SortKey &key : keys) {
                const int c = r.compareRows(a, b, key.column);
                if (c != 0)
                    return key.descending ? c > 0 : c < 0;
            }
            return false;
        });
    }

    // One key, the common case (a header click): sort (key, row) pairs, which keeps the
    // values next to each other in memory, and put the Nulls first (last descending).
    void sortOneKey(const criteria::SortKey &key)
    {
        const engine::ResultRows &r = *rows;
        const int column = key.column;
        if (sortIfInOrder(key))
            return;
        if (r.storage(column) != engine::ResultRows::Storage::Text) {
            sortNumbers(key);
            return;
        }
        if (sortByRank(key))
            return;
        if (!r.isAsciiColumn(column)) {
            sortAccented(key);
            return;
        }
        std::vector<int> nulls;
        std::vector<KeyedRow> keyed;
        keyed.reserve(sorted.size());
        for (int row = 0; row < r.rowCount(); ++row) {
            if (r.isNull(row, column)) {
                nulls.push_back(row);
                continue;
            }
            const std::string_view text = r.text(row, column);
            keyed.push_back(engine::keyed_sort::keyedRow(text, row));
        }
        sortKeyed(keyed, key.descending,
                  [&r, column](int a, int b) { return jettext::compare(r.text(a, column), r.text(b, column)); });
        place(nulls, keyed, key.descending, [](const KeyedRow &k) { return k.row; });
    }

    // A number column: each row's value as a key, radix sorted.
    void sortNumbers(const criteria::SortKey &key)
    {
        const engine::ResultRows &r = *rows;
        const int column = key.column;
        const bool real = r.storage(column) == engine::ResultRows::Storage::Real;
        // Kept from one sort to the next, as the sort's own scratch is.
        static thread_local std::vector<engine::keyed_sort::NumberRow> keptNumbers;
        auto &numbers = keptNumbers;  // the calling thread's, named so on the other too
        const std::size_t n = std::size_t(r.rowCount());
        numbers.resize(n);
        // Each half's keys from its first place on, its Nulls apart.
        std::vector<int> halfNulls[2];
        std::size_t begins[2] = {0, 0}, filled[2] = {0, 0};
        engine::inTwoHalves(n, [&](int part, std::size_t begin, std::size_t end) {
            std::size_t at = begin;
            for (std::size_t row = begin; row < end; ++row) {
                if (r.isNull(int(row), column))
                    halfNulls[part].push_back(int(row));
                else
                    numbers[at++] = {real ? 0 : orderedBits(r.integer(int(row), column)), int(row)};
            }
            begins[part] = begin;
            filled[part] = at - begin;
        });
        if (filled[1] > 0 && begins[1] > filled[0])
            std::copy(numbers.begin() + std::ptrdiff_t(begins[1]),
                      numbers.begin() + std::ptrdiff_t(begins[1] + filled[1]),
                      numbers.begin() + std::ptrdiff_t(filled[0]));
        numbers.resize(filled[0] + filled[1]);
        std::vector<int> nulls = std::move(halfNulls[0]);
        nulls.insert(nulls.end(), halfNulls[1].begin(), halfNulls[1].end());
        if (real)
            narrowRealKeys(numbers, r, column);
        // Nulls first (last descending), the numbers placed straight where they go.
        if (engine::keyed_sort::placeByCount(numbers, key.descending, sorted.data() + (key.descending ? 0 : nulls.size()))) {
            std::copy(nulls.begin(), nulls.end(), sorted.begin() + std::ptrdiff_t(key.descending ? numbers.size() : 0));
            return;
        }
        engine::keyed_sort::sortNumbers(numbers, key.descending);
        place(nulls, numbers, key.descending, [](const engine::keyed_sort::NumberRow &n) { return n.row; });
    }

    // Rows that already stand in the column's order (a listing by name, sorted by name): the
    // order is their own, or their runs of equal values turned round. False, having placed
    // nothing, at the first row out of order. Each half looks at its own rows, the second
    // from the pair across the middle.
    bool sortIfInOrder(const criteria::SortKey &key)
    {
        const engine::ResultRows &r = *rows;
        // Rows known to be in order need no look to be sorted ascending, and descending
        // only a look for where each run of equal values begins.
        if (r.isInOrder(key.column)) {
            if (!key.descending) {
                std::iota(sorted.begin(), sorted.end(), 0);
                return true;
            }
            // Where each run of equal values begins, looked at on both threads; then, from
            // the last row back, each run placed as it is met.
            const int column = key.column;
            const bool text = r.storage(column) == engine::ResultRows::Storage::Text;
            const bool ascii = text && r.isAsciiColumn(column);
            const auto sameValue = [&](int a, int b) {
                if (!text || r.isNull(a, column) || r.isNull(b, column))
                    return r.compareRows(a, b, column) == 0;
                const std::string_view x = r.text(a, column), y = r.text(b, column);
                // ASCII texts of other lengths differ; equal bytes are equal values.
                if (ascii)
                    return x.size() == y.size() && jettext::compare(x, y) == 0;
                return x == y || jettext::compare(x, y) == 0;
            };
            const int n = r.rowCount();
            std::vector<std::uint8_t> startsRun(std::size_t(n), 1);
            // Values shared from a column whose runs were marked as it was put in order: no
            // value is looked at.
            const engine::ResultRows::Shared shared = r.shared(column);
            const bool marked = shared.values && shared.values->hasRuns();
            engine::inTwoHalves(std::size_t(n), [&](int, std::size_t begin, std::size_t end) {
                for (std::size_t row = std::max<std::size_t>(begin, 1); row < end; ++row)
                    startsRun[row] = marked ? shared.values->newValueWithin(shared.place(int(row) - 1), shared.place(int(row)))
                                            : !sameValue(int(row) - 1, int(row));
            });
            auto out = sorted.begin();
            int runEnd = n;
            for (int row = n - 1; row >= 0; --row) {
                if (!startsRun[std::size_t(row)])
                    continue;
                for (int k = row; k < runEnd; ++k)
                    *out++ = k;
                runEnd = row;
            }
            return true;
        }
        std::atomic<bool> outOfOrder{false};
        std::vector<int> runStarts[2];  // where a run of equal values begins: descending only
        engine::inTwoHalves(size_t(r.rowCount()), [&](int part, size_t begin, size_t end) {
            for (size_t row = std::max<size_t>(begin, 1); row < end; ++row) {
                const int c = r.compareRows(int(row) - 1, int(row), key.column);
                if (c > 0 || ((row & 0xfff) == 0 && outOfOrder.load(std::memory_order_relaxed))) {
                    outOfOrder = true;
                    return;
                }
                if (c < 0 && key.descending)
                    runStarts[part].push_back(int(row));
            }
        });
        if (outOfOrder)
            return false;
        if (!key.descending) {
            std::iota(sorted.begin(), sorted.end(), 0);
            return true;
        }
        std::vector<int> starts{0};
        starts.insert(starts.end(), runStarts[0].begin(), runStarts[0].end());
        starts.insert(starts.end(), runStarts[1].begin(), runStarts[1].end());
        starts.push_back(r.rowCount());
        auto out = sorted.begin();
        for (std::size_t run = starts.size() - 1; run-- > 0;)
            for (int row = starts[run]; row < starts[run + 1]; ++row)
                *out++ = row;
        return true;
    }

    // A text column of few values (a type, a company): the values are put in order once,
    // then the rows are placed by their value's rank in one pass, in statement order within
    // a rank. False, having placed nothing, when the column holds too many values for that.
    bool sortByRank(const criteria::SortKey &key)
    {
        constexpr std::size_t kMostValues = 4096;
        const engine::ResultRows &r = *rows;
        std::unordered_map<std::string_view, int> ids;
        ids.reserve(2 * kMostValues);
        std::vector<std::string_view> values;
        std::vector<int> nulls;
        std::vector<int> idOf(std::size_t(r.rowCount()), -1);
        const engine::ResultRows::Shared shared = r.shared(key.column);
        const bool few = shared.values && shared.values->size() <= kMostValues;
        if (few) {
            // Values shared from a small table (a joined type or company): each row's value
            // is known by its place there, so no text is looked up a row.
            const engine::ColumnValues &from = *shared.values;
            for (std::size_t i = 0; i < from.size(); ++i)
                values.push_back(from.text(i));
            for (int row = 0; row < r.rowCount(); ++row) {
                const std::size_t at = shared.place(row);
                if (from.isNull(at))
                    nulls.push_back(row);
                else
                    idOf[std::size_t(row)] = int(at);
            }
        }
        for (int row = 0; !few && row < r.rowCount(); ++row) {
            if (r.isNull(row, key.column)) {
                nulls.push_back(row);
                continue;
            }
            const auto [at, added] = ids.try_emplace(r.text(row, key.column), int(values.size()));
            if (added) {
                if (values.size() == kMostValues)
                    return false;
                values.push_back(at->first);
            }
            idOf[std::size_t(row)] = at->second;
        }
        // Texts Jet finds equal ("Demo", "DEMO") share a rank.
        std::vector<int> byValue(values.size());
        std::iota(byValue.begin(), byValue.end(), 0);
        std::sort(byValue.begin(), byValue.end(),
                  [&values](int a, int b) { return jettext::compare(values[size_t(a)], values[size_t(b)]) < 0; });
        std::vector<int> rankOf(values.size());
        int ranks = 0;
        for (std::size_t i = 0; i < byValue.size(); ++i) {
            if (i > 0 && jettext::compare(values[size_t(byValue[i - 1])], values[size_t(byValue[i])]) != 0)
                ++ranks;
            rankOf[size_t(byValue[i])] = ranks;
        }
        ++ranks;
        const auto place = [&](int id) { return key.descending ? ranks - 1 - rankOf[size_t(id)] : rankOf[size_t(id)]; };
        std::vector<int> starts(std::size_t(ranks) + 1, 0);
        for (const int id : idOf)
            if (id >= 0)
                ++starts[size_t(place(id)) + 1];
        std::partial_sum(starts.begin(), starts.end(), starts.begin());
        std::vector<int> ordered(idOf.size() - nulls.size());
        for (std::size_t row = 0; row < idOf.size(); ++row)
            if (idOf[row] >= 0)
                ordered[size_t(starts[size_t(place(idOf[row]))]++)] = int(row);
        this->place(nulls, ordered, key.descending, [](int row) { return row; });
        return true;
    }

    // The sort order: the Nulls first (last descending) around the other rows in order.
    template <typename Ordered, typename RowOf>
    void place(const std::vector<int> &nulls, const Ordered &ordered, bool descending, const RowOf &rowOf)
    {
        auto out = sorted.begin();
        if (!descending)
            out = std::copy(nulls.begin(), nulls.end(), out);
        for (const auto &item : ordered)
            *out++ = rowOf(item);
        if (descending)
            std::copy(nulls.begin(), nulls.end(), out);
    }

    // Accented text: work out each text's sort key once, not at every comparison.
    void sortAccented(const criteria::SortKey &key)
    {
        const engine::ResultRows &r = *rows;
        std::vector<int> nulls;
        std::vector<std::pair<QString, int>> pairs;
        pairs.reserve(sorted.size());
        for (int row = 0; row < r.rowCount(); ++row) {
            if (r.isNull(row, key.column))
                nulls.push_back(row);
            else
                pairs.emplace_back(jettext::sortKey(r.text(row, key.column)), row);
        }
        const auto less = [&key](const auto &a, const auto &b) {
            const int c = QString::compare(a.first, b.first, Qt::CaseSensitive);
            return key.descending ? c > 0 : c < 0;
        };
        std::stable_sort(pairs.begin(), pairs.end(), less);
        place(nulls, pairs, key.descending, [](const auto &pair) { return pair.second; });
    }

private:
    const engine::ResultRows *rows;
    std::vector<int> &sorted;
};

}  // namespace

void sortRows(const engine::ResultRows &rows, const std::vector<criteria::SortKey> &keys, std::vector<int> &sorted)
{
    Sorter(rows, sorted).sortAll(keys);
}

}  // namespace criteria
