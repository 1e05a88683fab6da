#pragma once

#include "catalog/ado_types/ado.h"

#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace engine {
class ResultRows;
}

/// The expressions a recordset takes for Sort, Filter and Find, parsed against the
/// recordset's fields.
///
/// Sort: keys joined by commas, each a field name then ASC or DESC ("[Company Name] ASC,
/// Price DESC").
/// Filter and Find: comparisons `field op value` joined by AND and OR (AND binds first),
/// with parentheses. op is =, <>, <, >, <=, >= or LIKE; value is a quoted text ('O''Malley'
/// holds one quote), a number, True, False or Null. In a LIKE pattern "*" and "%" stand for
/// any run of characters. Text compares and matches without regard to letter case; LIKE on
/// a field that is not text matches the field's text form.
///
/// A field name is a bare name or a bracketed one ([Company Name]); a bare name may hold
/// blanks when a field has that name.
namespace criteria {

struct SortKey {
    int column = 0;
    bool descending = false;
};

/// Parses `expression` into sort keys (none for an empty expression). An unknown field or
/// a malformed key gives adErrInvalidArgument.
ado::Error parseSort(const QString &expression, const engine::ResultRows &rows, std::vector<SortKey> &keys);

/// A parsed filter, evaluated row by row.
class Predicate {
public:
    struct Node;
    explicit Predicate(std::unique_ptr<Node> root);
    ~Predicate();
    bool matches(const engine::ResultRows &rows, int row) const;
    /// matches() for each of rows [begin, end) at once, into hits[row - begin] (1 or 0):
    /// a LIKE goes through its field's folded texts end to end instead of row by row.
    void markMatches(const engine::ResultRows &rows, int begin, int end, std::uint8_t *hits) const;
    /// True when every row this predicate lets through `wider` lets through too (one
    /// LIKE on the same field, its pattern narrowing the other's); false when unsure.
    bool narrows(const Predicate &wider) const;
    /// Builds what matching needs of `rows` once, before rows are matched in parallel.
    void prepare(const engine::ResultRows &rows) const;

private:
    std::unique_ptr<Node> m_root;
};

/// A field's name as Sort and Filter expressions name it: bare when it is a plain word, in
/// brackets otherwise ("[Company Name]").
QString fieldReference(const QString &name);

/// A search of one field, as a search box asks it: the rows whose field begins with, contains
/// or equals `text`, matched as LIKE matches (its * ? # [ keep their meaning). A Yes/No field
/// is searched by the words its format shows for True, False and Null (`yesNoWords`): the
/// rows whose word matches pass.
struct FieldSearch {
    enum class Mode { BeginsWith, Contains, Equals };
    int column = 0;
    Mode mode = Mode::BeginsWith;
    QString text;
    std::optional<std::array<QString, 3>> yesNoWords;  ///< shown for True, False and Null
};

/// The predicate `search` stands for over `rows`, and the Filter text that says the same;
/// adErrInvalidArgument for a column `rows` does not have.
ado::Error searchPredicate(const FieldSearch &search, const engine::ResultRows &rows, std::unique_ptr<Predicate> &predicate,
                           QString &text);

/// Parses a filter or find expression. An empty expression gives a null predicate (every
/// row passes); an unknown field, a value of the wrong kind or text it cannot read gives
/// adErrInvalidArgument.
ado::Error parseFilter(const QString &expression, const engine::ResultRows &rows,
                       std::unique_ptr<Predicate> &predicate);

}  // namespace criteria
