#include "catalog/ado/recordset.h"

#include "catalog/ado/connection.h"
#include "catalog/jettext/jet_text.h"
#include "catalog/listing/request.h"
#include "catalog/listing/straight_run.h"
#include "catalog/engine/query_engine.h"
#include "catalog/criteria/record_criteria.h"
#include "catalog/criteria/record_sort.h"
#include "catalog/engine/result_rows.h"
#include "catalog/engine/two_threads.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <new>
#include <functional>
#include <limits>
#include <future>
#include <numeric>
#include <optional>

namespace ado {

namespace {

Error closedError()
{
    return {adErrObjectClosed, QStringLiteral("Operation is not allowed when the object is closed.")};
}

// The rows of `sql`, or of the listing `request` whose text it is: those another recordset
// (or this one) still holds for the same statement, or a fresh run's.
Error listRows(engine::QueryEngine &engine, const QString &sql, const listing::Request *request,
               std::shared_ptr<const engine::ResultRows> &rows)
{
    rows = engine.heldRows(sql);
    if (rows)
        return {};
    auto fresh = std::make_shared<engine::ResultRows>();
    if (Error error = request ? listing::list(engine, *request, *fresh) : engine.execute(sql, *fresh))
        return error;
    engine.noteRows(sql, fresh);
    rows = std::move(fresh);
    return {};
}

// A filter over at least one row in this many matches every row in one whole pass, in
// stored order, instead of walking the rows shown before.
constexpr size_t kWholePassShare = 8;

Error noMemoryError()
{
    return {E_PROVIDER_FAIL, QStringLiteral("There is not enough memory to complete the operation.")};
}

// Rows kept by the two halves of a pass, each from its own start in one vector.
struct HalvesKept {
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
    std::shared_ptr<const engine::ResultRows> rows;  // null while closed; shared by the runs of one statement
    std::vector<int> sorted;           // every row, in sort order
    std::vector<int> visible;          // the sorted rows that pass the filter
    // Kept from one filter to the next, so that a keystroke over millions of rows writes into
    // memory it has instead of faulting in new pages (the rows shown keep their room too).
    std::vector<std::uint8_t> hitBuffer;
    std::vector<criteria::SortKey> sortKeys;
    QString sortText;
    std::unique_ptr<criteria::Predicate> filter;
    QString filterText;
    int position = 0;  // -1 is BOF, visible.size() is EOF
    std::future<std::vector<std::uint8_t>> preparing;  // a field made ready for filtering, and room for its marks
    std::optional<listing::Request> request;  // what was asked for, when it was a listing

    ~Impl()
    {
        if (preparing.valid())
            preparing.wait();
    }

    void applySort() { criteria::sortRows(*rows, sortKeys, sorted); }

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
        if (from.size() >= all / kWholePassShare) {
            // Many rows to match: every row is matched in stored order, in one pass over each
            // field (much cheaper a row than matching the rows one by one in `from`'s order),
            // and `from` then keeps the rows that passed.
            std::vector<std::uint8_t> &hits = hitsFor(all);
            engine::inTwoHalves(all, [&](int, size_t begin, size_t end) {
                filter->markMatches(*rows, int(begin), int(end), hits.data() + begin);
            });
            keep(from, [&hits](int row) { return hits[size_t(row)] != 0; });
        } else {
            keep(from, [this](int row) { return filter->matches(*rows, row); });
        }
    }

    // visible = the rows of `from` that pass, in from's order. Each half writes its rows at
    // its own start, without a branch per row, and the second half then closes up. A half
    // never writes a place it has not read yet, so the rows shown narrow in place.
    template <typename Passes>
    void keep(const std::vector<int> &from, const Passes &passes)
    {
        const int *source = from.data();
        int *kept = roomToShow(from.size());  // from itself when it is the rows shown
        HalvesKept halves;
        engine::inTwoHalves(from.size(), [&](int part, size_t begin, size_t end) {
            size_t out = begin;
            for (size_t i = begin; i < end; ++i) {
                const int row = source[i];
                kept[out] = row;
                out += passes(row) ? 1 : 0;
            }
            halves.kept(part, begin, out);
        });
        halves.closeUp(visible);
    }

    // Room for `n` rows to show, in the rows shown now: what they hold goes, their pages stay.
    int *roomToShow(size_t n)
    {
        if (visible.capacity() < n)
            visible = {};
        visible.resize(n);
        return visible.data();
    }

    // The marks' room made ready beside the field, once it is: a keystroke does not wait for it.
    void takePreparedRoom()
    {
        if (!preparing.valid() || preparing.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            return;
        std::vector<std::uint8_t> room = preparing.get();
        if (room.size() > hitBuffer.size())
            hitBuffer = std::move(room);
    }

    // Every mark is written by the match before it is read.
    std::vector<std::uint8_t> &hitsFor(size_t all)
    {
        hitBuffer.resize(all);
        return hitBuffer;
    }
    // visible = every row in stored order that passes: each half marks its rows and keeps
    // them in one go.
    void keepMarked(size_t all)
    {
        std::vector<std::uint8_t> &hits = hitsFor(all);
        int *kept = roomToShow(all);
        HalvesKept halves;
        engine::inTwoHalves(all, [&](int part, size_t begin, size_t end) {
            filter->markMatches(*rows, int(begin), int(end), hits.data() + begin);
            size_t out = begin;
            for (size_t row = begin; row < end; ++row) {
                kept[out] = int(row);
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
        hitBuffer = {};
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
        std::shared_ptr<const engine::ResultRows> rows;
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

const listing::Request *Recordset::request() const
{
    return d->request ? &*d->request : nullptr;
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
    return filterBy([&](std::unique_ptr<criteria::Predicate> &predicate, QString &text) {
        text = expression;
        return criteria::parseFilter(expression, *d->rows, predicate);
    });
}

Error Recordset::setFilter(const criteria::FieldSearch &search)
{
    return filterBy([&](std::unique_ptr<criteria::Predicate> &predicate, QString &text) {
        return criteria::searchPredicate(search, *d->rows, predicate, text);
    });
}

Error Recordset::filterBy(const std::function<Error(std::unique_ptr<criteria::Predicate> &, QString &)> &make)
{
    try {
        if (!d->rows)
            return closedError();
        std::unique_ptr<criteria::Predicate> predicate;
        QString text;
        if (Error error = make(predicate, text))
            return error;
        // A further letter typed into the same search only narrows the rows already shown.
        const bool narrows = predicate && d->filter && predicate->narrows(*d->filter);
        d->filter = std::move(predicate);
        d->filterText = d->filter ? text : QString();
        d->takePreparedRoom();
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
    // The rows go along, so that they outlive a Close or Requery in the meantime. The marks'
    // room is put in place here too: faulting in its pages would fall on the first letter.
    d->preparing = std::async(std::launch::async, [rows = d->rows, fieldIndex] {
        rows->folded(0, fieldIndex);
        std::vector<std::uint8_t> room;
        try {
            room.resize(size_t(rows->rowCount()));
        } catch (const std::bad_alloc &) {
            room = {};  // the filter makes its own room, or says memory ran out
        }
        return room;
    });
}

Error Recordset::Requery(int)
{
    try {
        if (!d->rows)
            return closedError();
        if (!ActiveConnection || !ActiveConnection->isOpen() || !ActiveConnection->engine())
            return {E_PROVIDER_FAIL, QStringLiteral("The connection is closed.")};
        std::shared_ptr<const engine::ResultRows> rows;
        // A listing runs again as the request it was, unless Source was changed since.
        const listing::Request *request = d->request && d->request->sql() == Source ? &*d->request : nullptr;
        if (Error error = listRows(*ActiveConnection->engine(), Source, request, rows))
            return error;
        // The sort and the filter carry over; a Source changed to a statement without their
        // fields is refused as setting them would be, and the recordset stays as it was.
        std::vector<criteria::SortKey> keys;
        std::unique_ptr<criteria::Predicate> predicate;
        if (Error error = criteria::parseSort(d->sortText, *rows, keys))
            return error;
        if (Error error = criteria::parseFilter(d->filterText, *rows, predicate))
            return error;
        d->rows = std::move(rows);
        d->sortKeys = std::move(keys);
        d->filter = std::move(predicate);
        return d->rearrange(*this);
    } catch (const std::bad_alloc &) {
        return d->outOfMemory(*this);
    }
}

}  // namespace ado
