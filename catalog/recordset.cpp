#include "recordset.h"

#include "connection.h"
#include "jet_text.h"
#include "query_engine.h"
#include "record_criteria.h"
#include "result_rows.h"

#include <algorithm>
#include <new>
#include <functional>
#include <numeric>

namespace ado {

namespace {

Error closedError()
{
    return {adErrObjectClosed, QStringLiteral("Operation is not allowed when the object is closed.")};
}

Error noMemoryError()
{
    return {E_PROVIDER_FAIL, QStringLiteral("There is not enough memory to complete the operation.")};
}

}  // namespace

struct Recordset::Impl {
    std::unique_ptr<ResultRows> rows;  // null while closed
    std::vector<int> sorted;           // every row, in sort order
    std::vector<int> visible;          // the sorted rows that pass the filter
    std::vector<criteria::SortKey> sortKeys;
    QString sortText;
    std::unique_ptr<criteria::Predicate> filter;
    QString filterText;
    int position = 0;  // -1 is BOF, visible.size() is EOF

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

    // One key, the common case (a header click): sort (value, row) pairs, which keeps the
    // values next to each other in memory, and put the Nulls first (last descending).
    template <typename Value, typename Compare>
    void sortPairs(const criteria::SortKey &key, Value (*read)(const ResultRows &, int, int), Compare less)
    {
        const ResultRows &r = *rows;
        std::vector<int> nulls;
        std::vector<std::pair<Value, int>> pairs;
        pairs.reserve(sorted.size());
        for (int row = 0; row < r.rowCount(); ++row) {
            if (r.isNull(row, key.column))
                nulls.push_back(row);
            else
                pairs.emplace_back(read(r, row, key.column), row);
        }
        if (key.descending)
            std::stable_sort(pairs.begin(), pairs.end(),
                             [&less](const auto &a, const auto &b) { return less(b.first, a.first); });
        else
            std::stable_sort(pairs.begin(), pairs.end(),
                             [&less](const auto &a, const auto &b) { return less(a.first, b.first); });
        auto out = sorted.begin();
        if (!key.descending)
            out = std::copy(nulls.begin(), nulls.end(), out);
        for (const auto &pair : pairs)
            *out++ = pair.second;
        if (key.descending)
            std::copy(nulls.begin(), nulls.end(), out);
    }

    void sortOneKey(const criteria::SortKey &key)
    {
        switch (rows->storage(key.column)) {
        case ResultRows::Storage::Integer:
            sortPairs<std::int64_t>(
                key, [](const ResultRows &r, int row, int c) { return r.integer(row, c); },
                std::less<std::int64_t>());
            break;
        case ResultRows::Storage::Real:
            sortPairs<double>(
                key, [](const ResultRows &r, int row, int c) { return r.real(row, c); }, std::less<double>());
            break;
        case ResultRows::Storage::Text:
            if (rows->isAsciiColumn(key.column)) {
                sortPairs<std::string_view>(
                    key, [](const ResultRows &r, int row, int c) { return r.text(row, c); },
                    [](std::string_view a, std::string_view b) { return jettext::compare(a, b) < 0; });
            } else {
                // Accented text: work out each text's sort key once, not at every comparison.
                sortPairs<QString>(
                    key, [](const ResultRows &r, int row, int c) { return jettext::sortKey(r.text(row, c)); },
                    [](const QString &a, const QString &b) { return QString::compare(a, b, Qt::CaseSensitive) < 0; });
            }
            break;
        }
    }

    void applyFilter()
    {
        if (!filter) {
            visible = sorted;
            return;
        }
        visible.clear();
        for (int row : sorted)
            if (filter->matches(*rows, row))
                visible.push_back(row);
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
                      int lockType, int)
{
    try {
        Source = source;
        ActiveConnection = connection;
        CursorType = cursorType;
        LockType = lockType;
        if (!connection || !connection->isOpen() || !connection->engine()) {
            if (d->rows)
                Close();
            return {E_PROVIDER_FAIL,
                    QStringLiteral("The connection cannot be used to perform this operation. It is either closed or invalid in this context.")};
        }
        auto rows = std::make_unique<ResultRows>();
        if (Error error = connection->engine()->execute(source, *rows)) {
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
        d->applySort();
        d->applyFilter();
        d->position = 0;
        emit rowsReset();
        return {};
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
    d->position = 0;
    emit rowsReset();
    return {};
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
        d->applySort();
        d->applyFilter();
        d->position = 0;
        emit rowsReset();
        return {};
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
        d->filter = std::move(predicate);
        d->filterText = d->filter ? expression : QString();
        d->applyFilter();
        d->position = 0;
        emit rowsReset();
        return {};
    } catch (const std::bad_alloc &) {
        return d->outOfMemory(*this);
    }
}

QString Recordset::Filter() const
{
    return d->filterText;
}

Error Recordset::Requery(int)
{
    try {
        if (!d->rows)
            return closedError();
        if (!ActiveConnection || !ActiveConnection->isOpen() || !ActiveConnection->engine())
            return {E_PROVIDER_FAIL, QStringLiteral("The connection is closed.")};
        auto rows = std::make_unique<ResultRows>();
        if (Error error = ActiveConnection->engine()->execute(Source, *rows))
            return error;
        // The same statement gives the same fields, so the sort and the filter carry over.
        std::vector<criteria::SortKey> keys;
        std::unique_ptr<criteria::Predicate> predicate;
        criteria::parseSort(d->sortText, *rows, keys);
        criteria::parseFilter(d->filterText, *rows, predicate);
        d->rows = std::move(rows);
        d->sortKeys = std::move(keys);
        d->filter = std::move(predicate);
        d->applySort();
        d->applyFilter();
        d->position = 0;
        emit rowsReset();
        return {};
    } catch (const std::bad_alloc &) {
        return d->outOfMemory(*this);
    }
}

}  // namespace ado
