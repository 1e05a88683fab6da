#include "recordset.h"

#include "connection.h"
#include "jet_text.h"
#include "listing_request.h"
#include "listing_run.h"
#include "query_engine.h"
#include "record_criteria.h"
#include "result_rows.h"
#include "keyed_sort.h"
#include "two_way.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>
#include <functional>
#include <limits>
#include <future>
#include <numeric>
#include <optional>
#include <unordered_map>

namespace ado {

namespace {

using keyed_sort::asciiPrefix;
using keyed_sort::KeyedRow;
using keyed_sort::sortKeyed;

Error closedError()
{
    return {adErrObjectClosed, QStringLiteral("Operation is not allowed when the object is closed.")};
}

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
void narrowRealKeys(std::vector<keyed_sort::NumberRow> &numbers, const ResultRows &r, int column)
{
    constexpr double kScale = 10000;
    constexpr double kWholeLimit = 4611686018427387904.0;  // 2^62: two such wholes' difference fits 64 bits
    constexpr std::int64_t kPerCent = 100;
    std::int64_t least = std::numeric_limits<std::int64_t>::max();
    bool cents = true;
    for (keyed_sort::NumberRow &n : numbers) {
        const double value = r.real(n.row, column);
        const double scaled = std::nearbyint(value * kScale);
        if (!(std::fabs(scaled) < kWholeLimit) || scaled / kScale != value) {
            for (keyed_sort::NumberRow &m : numbers)
                m.key = orderedBits(r.real(m.row, column));
            return;
        }
        const auto whole = std::int64_t(scaled);
        n.key = std::uint64_t(whole);
        least = std::min(least, whole);
        cents = cents && whole % kPerCent == 0;
    }
    if (cents)
        for (keyed_sort::NumberRow &n : numbers)
            n.key = std::uint64_t((std::int64_t(n.key) - least) / kPerCent);
    else
        for (keyed_sort::NumberRow &n : numbers)
            n.key = std::uint64_t(std::int64_t(n.key) - least);
}

// The rows of `sql`, or of the listing `request` whose text it is: those another recordset
// (or this one) still holds for the same statement, or a fresh run's.
Error listRows(QueryEngine &engine, const QString &sql, const listing::Request *request,
               std::shared_ptr<const ResultRows> &rows)
{
    rows = engine.heldRows(sql);
    if (rows)
        return {};
    auto fresh = std::make_shared<ResultRows>();
    if (Error error = request ? listing::list(engine, *request, *fresh) : engine.execute(sql, *fresh))
        return error;
    engine.noteRows(sql, fresh);
    rows = std::move(fresh);
    return {};
}

// A filter over at least one row in this many matches every row at once, in stored order.
constexpr size_t kBatchShare = 8;

Error noMemoryError()
{
    return {E_PROVIDER_FAIL, QStringLiteral("There is not enough memory to complete the operation.")};
}

// Rows kept by the two halves of a pass, each from its own start in one vector.
struct Halves {
    size_t starts[2] = {0, 0};
    size_t counts[2] = {0, 0};
    void kept(int part, size_t begin, size_t end)
    {
        starts[part] = begin;
        counts[part] = end - begin;
    }
    /// Moves the second half's rows up to the first's and drops the rest.
    void closeUp(std::vector<int> &rows) const
    {
        std::copy_n(rows.begin() + std::ptrdiff_t(starts[1]), counts[1], rows.begin() + std::ptrdiff_t(counts[0]));
        rows.resize(counts[0] + counts[1]);
    }
};

}  // namespace

struct Recordset::Impl {
    std::shared_ptr<const ResultRows> rows;  // null while closed; shared by the runs of one statement
    std::vector<int> sorted;           // every row, in sort order
    std::vector<int> visible;          // the sorted rows that pass the filter
    std::vector<criteria::SortKey> sortKeys;
    QString sortText;
    std::unique_ptr<criteria::Predicate> filter;
    QString filterText;
    int position = 0;  // -1 is BOF, visible.size() is EOF
    std::future<void> preparing;  // a field being made ready for filtering
    std::optional<listing::Request> request;  // what was asked for, when it was a listing

    ~Impl()
    {
        if (preparing.valid())
            preparing.wait();
    }

    void applySort()
    {
        sorted.resize(size_t(rows->rowCount()));
        std::iota(sorted.begin(), sorted.end(), 0);
        if (sortKeys.empty())
            return;
        if (sortKeys.size() == 1) {
            sortOneKey(sortKeys.front());
            return;
        }
        const ResultRows &r = *rows;
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
        const ResultRows &r = *rows;
        const int column = key.column;
        if (sortIfInOrder(key))
            return;
        if (r.storage(column) != ResultRows::Storage::Text) {
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
            keyed.push_back({asciiPrefix(text, 0), asciiPrefix(text, 8), row, std::uint32_t(text.size())});
        }
        sortKeyed(keyed, key.descending,
                  [&r, column](int a, int b) { return jettext::compare(r.text(a, column), r.text(b, column)); });
        place(nulls, keyed, key.descending, [](const KeyedRow &k) { return k.row; });
    }

    // A number column: each row's value as a key, radix sorted.
    void sortNumbers(const criteria::SortKey &key)
    {
        const ResultRows &r = *rows;
        const int column = key.column;
        const bool real = r.storage(column) == ResultRows::Storage::Real;
        std::vector<int> nulls;
        std::vector<keyed_sort::NumberRow> numbers;
        numbers.reserve(sorted.size());
        for (int row = 0; row < r.rowCount(); ++row) {
            if (r.isNull(row, column))
                nulls.push_back(row);
            else
                numbers.push_back({real ? 0 : orderedBits(r.integer(row, column)), row});
        }
        if (real)
            narrowRealKeys(numbers, r, column);
        keyed_sort::sortNumbers(numbers, key.descending);
        place(nulls, numbers, key.descending, [](const keyed_sort::NumberRow &n) { return n.row; });
    }

    // Rows that already stand in the column's order (a listing by name, sorted by name): the
    // order is their own, or their runs of equal values turned round. False, having placed
    // nothing, at the first row out of order. Each half looks at its own rows, the second
    // from the pair across the middle.
    bool sortIfInOrder(const criteria::SortKey &key)
    {
        const ResultRows &r = *rows;
        std::atomic<bool> outOfOrder{false};
        std::vector<int> runStarts[2];  // where a run of equal values begins: descending only
        two_way::run(size_t(r.rowCount()), [&](int part, size_t begin, size_t end) {
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
        const ResultRows &r = *rows;
        std::unordered_map<std::string_view, int> ids;
        ids.reserve(2 * kMostValues);
        std::vector<std::string_view> values;
        std::vector<int> nulls;
        std::vector<int> idOf(std::size_t(r.rowCount()), -1);
        for (int row = 0; row < r.rowCount(); ++row) {
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
        const ResultRows &r = *rows;
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

    // Without sort keys the sorted order is the stored one.
    void applyFilter() { filterFrom(sorted, sortKeys.empty()); }

    // Keeps the rows of `from` (in its order) that pass the filter: each half on its own
    // thread, then joined. `storedOrder`: from is every row in stored order.
    void filterFrom(const std::vector<int> &from, bool storedOrder = false)
    {
        if (!filter) {
            visible = from;
            return;
        }
        filter->prepare(*rows);
        const size_t all = size_t(rows->rowCount());
        if (storedOrder) {
            keepMarked(all);
            return;
        }
        if (from.size() >= all / kBatchShare) {
            // Many rows to match: every row is matched in stored order, in one pass over each
            // field (much cheaper a row than matching the rows one by one in `from`'s order),
            // and `from` then keeps the rows that passed.
            std::vector<std::uint8_t> hits(all);
            two_way::run(all, [&](int, size_t begin, size_t end) {
                filter->markMatches(*rows, int(begin), int(end), hits.data() + begin);
            });
            keep(from, [&hits](int row) { return hits[size_t(row)] != 0; });
        } else {
            keep(from, [this](int row) { return filter->matches(*rows, row); });
        }
    }

    // visible = the rows of `from` that pass, in from's order. Each half writes its rows at
    // its own start, without a branch per row, and the second half then closes up.
    template <typename Passes>
    void keep(const std::vector<int> &from, const Passes &passes)
    {
        std::vector<int> kept(from.size());
        Halves halves;
        two_way::run(from.size(), [&](int part, size_t begin, size_t end) {
            size_t out = begin;
            for (size_t i = begin; i < end; ++i) {
                kept[out] = from[i];
                out += passes(from[i]) ? 1 : 0;
            }
            halves.kept(part, begin, out);
        });
        visible = std::move(kept);
        halves.closeUp(visible);
    }

    // visible = every row in stored order that passes: each half marks its rows and keeps
    // them in one go.
    void keepMarked(size_t all)
    {
        std::vector<std::uint8_t> hits(all);
        visible.resize(all);  // every place is written below before it is read
        Halves halves;
        two_way::run(all, [&](int part, size_t begin, size_t end) {
            filter->markMatches(*rows, int(begin), int(end), hits.data() + begin);
            size_t out = begin;
            for (size_t row = begin; row < end; ++row) {
                visible[out] = int(row);
                out += hits[row];
            }
            halves.kept(part, begin, out);
        });
        halves.closeUp(visible);
    }

    /// The rows ordered and filtered again, shown from the first.
    Error rearrange(Recordset &owner)
    {
        applySort();
        applyFilter();
        return shownFromTop(owner);
    }

    Error shownFromTop(Recordset &owner)
    {
        position = 0;
        emit owner.rowsReset();
        return {};
    }

    /// After memory ran out half-way through a request: no sort and no filter over every
    /// row, or no rows at all when even that does not fit; the view is reset.
    Error outOfMemory(Recordset &owner)
    {
        dropToPlainRows();
        emit owner.rowsReset();
        return noMemoryError();
    }

    void dropToPlainRows() noexcept
    {
        sortKeys.clear();
        sortText.clear();
        filter.reset();
        filterText.clear();
        position = 0;
        try {
            if (rows) {
                applySort();
                applyFilter();
            }
        } catch (const std::bad_alloc &) {
            sorted.clear();
            visible.clear();
        }
    }

    int count() const { return int(visible.size()); }
    bool hasCurrent() const { return rows && position >= 0 && position < count(); }
};

Recordset::Recordset(QObject *parent) : QObject(parent), d(std::make_unique<Impl>()) {}

Recordset::~Recordset() = default;

Error Recordset::Open()
{
    return Open(Source, ActiveConnection, CursorType, LockType, adCmdUnspecified);
}

Error Recordset::Open(const QString &source, std::shared_ptr<Connection> connection, int cursorType,
                      int lockType, int options)
{
    return open(source, nullptr, std::move(connection), cursorType, lockType, options);
}

Error Recordset::Open(const listing::Request &request, std::shared_ptr<Connection> connection, int cursorType,
                      int lockType, int options)
{
    return open(request.sql(), &request, std::move(connection), cursorType, lockType, options);
}

Error Recordset::open(const QString &source, const listing::Request *request, std::shared_ptr<Connection> connection,
                      int cursorType, int lockType, int)
{
    try {
        Source = source;
        if (request)
            d->request = *request;
        else
            d->request.reset();
        ActiveConnection = connection;
        CursorType = cursorType;
        LockType = lockType;
        if (!connection || !connection->isOpen() || !connection->engine()) {
            if (d->rows)
                Close();
            return {E_PROVIDER_FAIL,
                    QStringLiteral("The connection cannot be used to perform this operation. It is either closed or invalid in this context.")};
        }
        std::shared_ptr<const ResultRows> rows;
        if (Error error = listRows(*connection->engine(), source, request, rows)) {
            // The rows asked for are not there; the ones held before must not pass for them.
            if (d->rows)
                Close();
            return error;
        }
        d->rows = std::move(rows);
        d->sortKeys.clear();
        d->sortText.clear();
        d->filter.reset();
        d->filterText.clear();
        return d->rearrange(*this);
    } catch (const std::bad_alloc &) {
        return d->outOfMemory(*this);
    }
}

bool Recordset::isOpen() const
{
    return d->rows != nullptr;
}

Error Recordset::Close()
{
    if (!d->rows)
        return closedError();
    d->rows.reset();
    d->sorted.clear();
    d->visible.clear();
    d->sortKeys.clear();
    d->sortText.clear();
    d->filter.reset();
    d->filterText.clear();
    return d->shownFromTop(*this);
}

bool Recordset::Eof() const
{
    return !d->rows || d->position >= d->count();
}

bool Recordset::Bof() const
{
    return !d->rows || d->position < 0 || d->count() == 0;
}

void Recordset::MoveFirst()
{
    setAbsolutePosition(0);
}

void Recordset::MoveNext()
{
    if (d->rows && d->position < d->count())
        setAbsolutePosition(d->position + 1);
}

void Recordset::MoveLast()
{
    if (d->rows)
        setAbsolutePosition(std::max(0, d->count() - 1));
}

Error Recordset::Find(const QString &criteria, int skipRecords, int direction)
{
    try {
        if (!d->rows)
            return closedError();
        std::unique_ptr<criteria::Predicate> predicate;
        if (Error error = criteria::parseFilter(criteria, *d->rows, predicate))
            return error;
        if (!predicate)
            return {adErrInvalidArgument, QStringLiteral("Find needs criteria.")};
        const int step = direction == adSearchBackward ? -1 : 1;
        int at = d->position + step * skipRecords;
        for (; at >= 0 && at < d->count(); at += step)
            if (predicate->matches(*d->rows, d->visible[size_t(at)]))
                break;
        // Not found: EOF searching forward, BOF searching backward.
        const int found = (at >= 0 && at < d->count()) ? at : (step > 0 ? d->count() : -1);
        if (found != d->position) {
            d->position = found;
            emit currentChanged(found);
        }
        return {};
    } catch (const std::bad_alloc &) {
        return noMemoryError();
    }
}

int Recordset::fieldCount() const
{
    return d->rows ? d->rows->columnCount() : 0;
}

Field Recordset::field(int index) const
{
    return d->rows ? d->rows->field(index) : Field{};
}

int Recordset::fieldIndex(const QString &name) const
{
    return d->rows ? d->rows->columnIndex(name) : -1;
}

QVariant Recordset::value(const QString &fieldName, bool *ok) const
{
    return value(fieldIndex(fieldName), ok);
}

QVariant Recordset::value(int fieldIndex, bool *ok) const
{
    const bool valid = d->hasCurrent() && fieldIndex >= 0 && fieldIndex < fieldCount();
    if (ok)
        *ok = valid;
    if (!valid)
        return {};
    return d->rows->value(d->visible[size_t(d->position)], fieldIndex);
}

QVariant Recordset::valueAt(int position, int fieldIndex) const
{
    if (!d->rows || position < 0 || position >= d->count())
        return {};
    return d->rows->value(d->visible[size_t(position)], fieldIndex);
}

int Recordset::RecordCount() const
{
    return d->rows ? d->count() : -1;
}

int Recordset::AbsolutePosition() const
{
    return d->rows ? d->position : -1;
}

void Recordset::setAbsolutePosition(int position)
{
    if (!d->rows)
        return;
    position = std::clamp(position, 0, d->count());
    if (position == d->position)
        return;
    d->position = position;
    emit currentChanged(position);
}

Error Recordset::setSort(const QString &expression)
{
    try {
        if (!d->rows)
            return closedError();
        std::vector<criteria::SortKey> keys;
        if (Error error = criteria::parseSort(expression, *d->rows, keys))
            return error;
        d->sortKeys = std::move(keys);
        d->sortText = expression;
        return d->rearrange(*this);
    } catch (const std::bad_alloc &) {
        return d->outOfMemory(*this);
    }
}

QString Recordset::Sort() const
{
    return d->sortText;
}

Error Recordset::setFilter(const QString &expression)
{
    try {
        if (!d->rows)
            return closedError();
        std::unique_ptr<criteria::Predicate> predicate;
        if (Error error = criteria::parseFilter(expression, *d->rows, predicate))
            return error;
        // A further letter typed into the same search only narrows the rows already shown.
        const bool narrows = predicate && d->filter && predicate->narrows(*d->filter);
        d->filter = std::move(predicate);
        d->filterText = d->filter ? expression : QString();
        if (narrows)
            d->filterFrom(d->visible);  // read whole before it is replaced
        else
            d->applyFilter();
        return d->shownFromTop(*this);
    } catch (const std::bad_alloc &) {
        return d->outOfMemory(*this);
    }
}

QString Recordset::Filter() const
{
    return d->filterText;
}

void Recordset::prepareFilter(int fieldIndex)
{
    if (!d->rows || fieldIndex < 0 || fieldIndex >= d->rows->columnCount() || d->rows->rowCount() == 0)
        return;
    if (d->preparing.valid())
        d->preparing.wait();
    // The rows go along, so that they outlive a Close or Requery in the meantime.
    d->preparing = std::async(std::launch::async, [rows = d->rows, fieldIndex] { rows->folded(0, fieldIndex); });
}

Error Recordset::Requery(int)
{
    try {
        if (!d->rows)
            return closedError();
        if (!ActiveConnection || !ActiveConnection->isOpen() || !ActiveConnection->engine())
            return {E_PROVIDER_FAIL, QStringLiteral("The connection is closed.")};
        std::shared_ptr<const ResultRows> rows;
        // A listing runs again as the request it was, unless Source was changed since.
        const listing::Request *request = d->request && d->request->sql() == Source ? &*d->request : nullptr;
        if (Error error = listRows(*ActiveConnection->engine(), Source, request, rows))
            return error;
        // The same statement gives the same fields, so the sort and the filter carry over.
        std::vector<criteria::SortKey> keys;
        std::unique_ptr<criteria::Predicate> predicate;
        criteria::parseSort(d->sortText, *rows, keys);
        criteria::parseFilter(d->filterText, *rows, predicate);
        d->rows = std::move(rows);
        d->sortKeys = std::move(keys);
        d->filter = std::move(predicate);
        return d->rearrange(*this);
    } catch (const std::bad_alloc &) {
        return d->outOfMemory(*this);
    }
}

}  // namespace ado
