#include "catalog/criteria/record_criteria.h"

#include "catalog/jettext/jet_text.h"
#include "catalog/engine/result_rows.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace criteria {

namespace {

enum class Op { Equal, NotEqual, Less, Greater, LessEqual, GreaterEqual, Like };

// Parentheses deeper than this are refused: parsing, matching and freeing a filter go one
// call deeper per level, never per term.
constexpr int kMaxNesting = 100;

ado::Error invalid(const QString &why)
{
    return {ado::adErrInvalidArgument,
            QStringLiteral("Arguments are of the wrong type, are out of acceptable range, or are in conflict with one another. (%1)")
                .arg(why)};
}

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

}  // namespace

struct Predicate::Node {
    enum class Kind { And, Or, Compare } kind = Kind::Compare;
    std::vector<std::unique_ptr<Node>> terms;  // of And and Or, two or more

    int column = 0;
    Op op = Op::Equal;
    bool literalNull = false;
    bool numeric = false;  // compare as numbers (the field is a number)
    double number = 0;
    std::string text;      // the literal as text (UTF-8)
    std::unique_ptr<jettext::LikePattern> pattern;

    bool matches(const engine::ResultRows &rows, int row) const
    {
        switch (kind) {
        case Kind::And:
            for (const auto &term : terms)
                if (!term->matches(rows, row))
                    return false;
            return true;
        case Kind::Or:
            for (const auto &term : terms)
                if (term->matches(rows, row))
                    return true;
            return false;
        case Kind::Compare: break;
        }
        const bool isNull = rows.isNull(row, column);
        if (literalNull) {
            if (op == Op::Equal)
                return isNull;
            if (op == Op::NotEqual)
                return !isNull;
            return false;
        }
        if (isNull)
            return false;
        if (op == Op::Like)
            return pattern->matchesFolded(rows.folded(row, column));
        int order;
        if (numeric) {
            const double value = rows.storage(column) == engine::ResultRows::Storage::Integer
                ? double(rows.integer(row, column))
                : rows.real(row, column);
            order = value < number ? -1 : (value > number ? 1 : 0);
        } else if (rows.storage(column) == engine::ResultRows::Storage::Text) {
            order = jettext::compare(rows.text(row, column), text);
        } else {
            order = jettext::compare(rows.textForm(row, column), text);
        }
        switch (op) {
        case Op::Equal: return order == 0;
        case Op::NotEqual: return order != 0;
        case Op::Less: return order < 0;
        case Op::Greater: return order > 0;
        case Op::LessEqual: return order <= 0;
        case Op::GreaterEqual: return order >= 0;
        case Op::Like: break;
        }
        return false;
    }

    void markMatches(const engine::ResultRows &rows, int begin, int end, std::uint8_t *hits) const
    {
        const size_t count = size_t(end - begin);
        if (kind != Kind::Compare) {
            terms.front()->markMatches(rows, begin, end, hits);
            std::vector<std::uint8_t> more(count);
            for (size_t t = 1; t < terms.size(); ++t) {
                terms[t]->markMatches(rows, begin, end, more.data());
                for (size_t i = 0; i < count; ++i)
                    hits[i] = kind == Kind::And ? (hits[i] & more[i]) : (hits[i] | more[i]);
            }
            return;
        }
        if (op == Op::Like) {
            const engine::ResultRows::FoldedColumn folded = rows.foldedColumn(column);
            if (folded.offsets && folded.rows && begin < end) {
                // Shared values: matched over the stretch of them these rows take, then
                // each row takes its value's mark.
                const auto [low, high] = std::minmax_element(folded.rows + begin, folded.rows + end);
                std::vector<std::uint8_t> marks(size_t(*high - *low) + 1);
                pattern->matchFoldedRows(folded.texts, folded.offsets + *low, 0, marks.size(), marks.data(),
                                         folded.marks ? folded.marks + *low : nullptr);
                const std::uint32_t first = *low;
                for (int row = begin; row < end; ++row)
                    hits[row - begin] = marks[folded.rows[row] - first];
            } else if (folded.offsets) {
                pattern->matchFoldedRows(folded.texts, folded.offsets, size_t(begin), size_t(end), hits, folded.marks);
            } else {
                for (int row = begin; row < end; ++row)
                    hits[row - begin] = pattern->matchesFolded(rows.folded(row, column));
            }
            // Nulls never match: eight rows a step (a mark and a Null flag are each 0 or 1).
            std::vector<std::uint8_t> scratch;
            const std::uint8_t *nulls = rows.nullFlags(column, begin, end, scratch);
            if (!nulls)
                return;
            size_t i = 0;
            for (; i + 8 <= count; i += 8) {
                std::uint64_t marks, isNull;
                std::memcpy(&marks, hits + i, 8);
                std::memcpy(&isNull, nulls + i, 8);
                marks &= ~isNull;
                std::memcpy(hits + i, &marks, 8);
            }
            for (; i < count; ++i)
                hits[i] &= std::uint8_t(nulls[i] == 0);
            return;
        }
        for (int row = begin; row < end; ++row)
            hits[row - begin] = matches(rows, row);
    }
};

Predicate::Predicate(std::unique_ptr<Node> root) : m_root(std::move(root)) {}
Predicate::~Predicate() = default;

bool Predicate::matches(const engine::ResultRows &rows, int row) const
{
    return m_root->matches(rows, row);
}

void Predicate::markMatches(const engine::ResultRows &rows, int begin, int end, std::uint8_t *hits) const
{
    m_root->markMatches(rows, begin, end, hits);
}

bool Predicate::narrows(const Predicate &wider) const
{
    const Node &a = *m_root, &b = *wider.m_root;
    return a.kind == Node::Kind::Compare && b.kind == Node::Kind::Compare && a.op == Op::Like
        && b.op == Op::Like && a.column == b.column && a.pattern && b.pattern
        && a.pattern->narrows(*b.pattern);
}

void Predicate::prepare(const engine::ResultRows &rows) const
{
    std::vector<const Node *> pending{m_root.get()};
    while (!pending.empty()) {
        const Node *node = pending.back();
        pending.pop_back();
        if (node->kind != Node::Kind::Compare) {
            for (const auto &term : node->terms)
                pending.push_back(term.get());
        } else if (node->op == Op::Like && rows.rowCount() > 0) {
            rows.folded(0, node->column);
        }
    }
}

namespace {

class Parser {
public:
    Parser(const QString &text, const engine::ResultRows &rows) : m_text(text), m_rows(rows) {}

    bool atEnd()
    {
        skipBlanks();
        return m_pos >= m_text.size();
    }

    void skipBlanks()
    {
        while (m_pos < m_text.size() && m_text[m_pos].isSpace())
            ++m_pos;
    }

    bool keyword(QLatin1StringView word)
    {
        skipBlanks();
        if (m_text.size() - m_pos < word.size())
            return false;
        if (QStringView(m_text).mid(m_pos, word.size()).compare(word, Qt::CaseInsensitive) != 0)
            return false;
        const qsizetype end = m_pos + word.size();
        if (end < m_text.size() && isNameChar(m_text[end]))
            return false;
        m_pos = end;
        return true;
    }

    bool symbol(QLatin1StringView s)
    {
        skipBlanks();
        if (QStringView(m_text).mid(m_pos).startsWith(s)) {
            m_pos += s.size();
            return true;
        }
        return false;
    }

    // A bracketed name, the longest field name found here, or one bare word.
    ado::Error fieldName(int &column)
    {
        skipBlanks();
        if (m_pos >= m_text.size())
            return invalid(QStringLiteral("a field name is missing"));
        if (m_text[m_pos] == QLatin1Char('[')) {
            const qsizetype close = m_text.indexOf(QLatin1Char(']'), m_pos + 1);
            if (close < 0)
                return invalid(QStringLiteral("a bracket is not closed"));
            const QString name = m_text.mid(m_pos + 1, close - m_pos - 1);
            column = m_rows.columnIndex(name);
            if (column < 0)
                return invalid(QStringLiteral("no field is named '%1'").arg(name));
            m_pos = close + 1;
            return {};
        }
        int best = -1;
        qsizetype bestLength = 0;
        for (int i = 0; i < m_rows.columnCount(); ++i) {
            const QString name = m_rows.field(i).Name;
            const qsizetype end = m_pos + name.size();
            if (name.isEmpty() || end > m_text.size() || name.size() <= bestLength)
                continue;
            if (QStringView(m_text).mid(m_pos, name.size()).compare(name, Qt::CaseInsensitive) != 0)
                continue;
            if (end < m_text.size() && isNameChar(m_text[end]))
                continue;
            best = i;
            bestLength = name.size();
        }
        if (best >= 0) {
            column = best;
            m_pos += bestLength;
            return {};
        }
        qsizetype end = m_pos;
        while (end < m_text.size() && isNameChar(m_text[end]))
            ++end;
        const QString word = m_text.mid(m_pos, end - m_pos);
        return invalid(word.isEmpty() ? QStringLiteral("a field name is missing")
                                      : QStringLiteral("no field is named '%1'").arg(word));
    }

    ado::Error expression(std::unique_ptr<Predicate::Node> &out)
    {
        return joined(out, Predicate::Node::Kind::Or, QLatin1StringView("OR"));
    }

    // Terms joined by one keyword, AND binding first: one node holds them all.
    ado::Error joined(std::unique_ptr<Predicate::Node> &out, Predicate::Node::Kind kind, QLatin1StringView word)
    {
        std::unique_ptr<Predicate::Node> node;
        for (;;) {
            std::unique_ptr<Predicate::Node> term;
            if (ado::Error e = kind == Predicate::Node::Kind::Or
                    ? joined(term, Predicate::Node::Kind::And, QLatin1StringView("AND"))
                    : primary(term))
                return e;
            if (!node) {
                if (!keyword(word)) {
                    out = std::move(term);
                    return {};
                }
                node = std::make_unique<Predicate::Node>();
                node->kind = kind;
                node->terms.push_back(std::move(term));
                continue;
            }
            node->terms.push_back(std::move(term));
            if (!keyword(word))
                break;
        }
        out = std::move(node);
        return {};
    }

    ado::Error primary(std::unique_ptr<Predicate::Node> &out)
    {
        if (symbol(QLatin1StringView("("))) {
            if (m_depth >= kMaxNesting)
                return invalid(QStringLiteral("parentheses are nested more than %1 deep").arg(kMaxNesting));
            ++m_depth;
            if (ado::Error e = expression(out))
                return e;
            --m_depth;
            if (!symbol(QLatin1StringView(")")))
                return invalid(QStringLiteral("a parenthesis is not closed"));
            return {};
        }
        return comparison(out);
    }

    ado::Error comparison(std::unique_ptr<Predicate::Node> &out)
    {
        auto node = std::make_unique<Predicate::Node>();
        if (ado::Error e = fieldName(node->column))
            return e;
        if (keyword(QLatin1StringView("LIKE")))
            node->op = Op::Like;
        else if (symbol(QLatin1StringView("<>")))
            node->op = Op::NotEqual;
        else if (symbol(QLatin1StringView("<=")))
            node->op = Op::LessEqual;
        else if (symbol(QLatin1StringView(">=")))
            node->op = Op::GreaterEqual;
        else if (symbol(QLatin1StringView("=")))
            node->op = Op::Equal;
        else if (symbol(QLatin1StringView("<")))
            node->op = Op::Less;
        else if (symbol(QLatin1StringView(">")))
            node->op = Op::Greater;
        else
            return invalid(QStringLiteral("an operator is missing"));
        if (ado::Error e = value(*node))
            return e;
        out = std::move(node);
        return {};
    }

    ado::Error value(Predicate::Node &node)
    {
        skipBlanks();
        const int adoType = m_rows.field(node.column).Type;
        const bool textField = m_rows.storage(node.column) == engine::ResultRows::Storage::Text;
        QString literal;
        bool quoted = false;
        if (m_pos < m_text.size() && (m_text[m_pos] == QLatin1Char('\'') || m_text[m_pos] == QLatin1Char('#'))) {
            const QChar quote = m_text[m_pos++];
            for (;;) {
                if (m_pos >= m_text.size())
                    return invalid(QStringLiteral("a quoted value is not closed"));
                const QChar c = m_text[m_pos++];
                if (c == quote) {
                    // A doubled quote inside the value is one quote.
                    if (quote == QLatin1Char('\'') && m_pos < m_text.size() && m_text[m_pos] == quote) {
                        literal.append(quote);
                        ++m_pos;
                        continue;
                    }
                    break;
                }
                literal.append(c);
            }
            quoted = true;
        } else if (keyword(QLatin1StringView("NULL"))) {
            if (node.op != Op::Equal && node.op != Op::NotEqual)
                return invalid(QStringLiteral("Null compares only with = and <>"));
            node.literalNull = true;
            return {};
        } else if (keyword(QLatin1StringView("TRUE"))) {
            literal = QStringLiteral("-1");
        } else if (keyword(QLatin1StringView("FALSE"))) {
            literal = QStringLiteral("0");
        } else {
            qsizetype end = m_pos;
            while (end < m_text.size()
                   && (m_text[end].isDigit() || m_text[end] == QLatin1Char('.') || m_text[end] == QLatin1Char('-')
                       || m_text[end] == QLatin1Char('+') || m_text[end] == QLatin1Char('e')
                       || m_text[end] == QLatin1Char('E')))
                ++end;
            literal = m_text.mid(m_pos, end - m_pos);
            bool ok = false;
            literal.toDouble(&ok);
            if (!ok)
                return invalid(QStringLiteral("a value is missing or malformed"));
            m_pos = end;
        }

        if (node.op == Op::Like) {
            if (!quoted)
                return invalid(QStringLiteral("LIKE takes a quoted pattern"));
            node.pattern = std::make_unique<jettext::LikePattern>(literal.toStdString(), '*', 0, '%');
            return {};
        }
        node.text = literal.toStdString();
        if (textField)
            return {};
        if (adoType == ado::adDate && quoted) {
            QDateTime when = QDateTime::fromString(literal, Qt::ISODate);
            if (!when.isValid())
                when = QLocale::c().toDateTime(literal, QStringLiteral("M/d/yyyy"));
            if (!when.isValid())
                return invalid(QStringLiteral("'%1' is not a date").arg(literal));
            node.number = double(QDate(1899, 12, 30).daysTo(when.date()))
                + double(when.time().msecsSinceStartOfDay()) / 86400000.0;
            node.numeric = true;
            return {};
        }
        bool ok = false;
        node.number = QLocale::c().toDouble(literal.trimmed(), &ok);
        if (!ok)
            return invalid(QStringLiteral("'%1' is not a number").arg(literal));
        // Booleans are kept as 0 and 1; True arrives as -1, as Jet writes it.
        if (adoType == ado::adBoolean)
            node.number = node.number != 0 ? 1 : 0;
        node.numeric = true;
        return {};
    }

private:
    const QString &m_text;
    const engine::ResultRows &m_rows;
    qsizetype m_pos = 0;
    int m_depth = 0;
};

}  // namespace

ado::Error parseSort(const QString &expression, const engine::ResultRows &rows, std::vector<SortKey> &keys)
{
    std::vector<SortKey> parsed;
    Parser parser(expression, rows);
    if (!parser.atEnd()) {
        for (;;) {
            SortKey key;
            if (ado::Error e = parser.fieldName(key.column))
                return e;
            if (parser.keyword(QLatin1StringView("DESC")))
                key.descending = true;
            else
                parser.keyword(QLatin1StringView("ASC"));
            parsed.push_back(key);
            if (parser.atEnd())
                break;
            if (!parser.symbol(QLatin1StringView(",")))
                return invalid(QStringLiteral("sort keys are separated by commas"));
        }
    }
    keys = std::move(parsed);
    return {};
}

ado::Error parseFilter(const QString &expression, const engine::ResultRows &rows,
                       std::unique_ptr<Predicate> &predicate)
{
    Parser parser(expression, rows);
    if (parser.atEnd()) {
        predicate.reset();
        return {};
    }
    std::unique_ptr<Predicate::Node> root;
    if (ado::Error e = parser.expression(root))
        return e;
    if (!parser.atEnd())
        return invalid(QStringLiteral("text is left over after the expression"));
    predicate = std::make_unique<Predicate>(std::move(root));
    return {};
}

QString fieldReference(const QString &name)
{
    for (const QChar c : name) {
        if (!c.isLetterOrNumber() && c != QLatin1Char('_'))
            return QLatin1Char('[') + name + QLatin1Char(']');
    }
    return name;
}

ado::Error searchPredicate(const FieldSearch &search, const engine::ResultRows &rows, std::unique_ptr<Predicate> &predicate,
                           QString &text)
{
    if (search.column < 0 || search.column >= rows.columnCount())
        return invalid(QStringLiteral("no field %1").arg(search.column));
    const QString field = fieldReference(rows.field(search.column).Name);
    const QString pattern = (search.mode == FieldSearch::Mode::Contains ? QStringLiteral("*") : QString()) + search.text
                            + (search.mode == FieldSearch::Mode::Equals ? QString() : QStringLiteral("*"));
    const auto compare = [&search](Op op) {
        auto node = std::make_unique<Predicate::Node>();
        node->column = search.column;
        node->op = op;
        return node;
    };
    std::unique_ptr<Predicate::Node> root;
    if (!search.yesNoWords) {
        root = compare(Op::Like);
        root->pattern = std::make_unique<jettext::LikePattern>(pattern.toStdString(), '*', 0, '%');
        QString quoted = pattern;
        quoted.replace(QLatin1Char('\''), QStringLiteral("''"));  // matched, not ending the pattern
        text = field + QStringLiteral(" LIKE '") + quoted + QLatin1Char('\'');
    } else {
        // The rows whose shown word matches.
        const jettext::LikePattern like(pattern.toStdString(), '*', 0, '%');
        // As the text would be read: True arrives as -1, kept as 1 in a Yes/No field.
        const bool textField = rows.storage(search.column) == engine::ResultRows::Storage::Text;
        const bool boolean = rows.field(search.column).Type == ado::adBoolean;
        const auto equalTo = [&](bool truth, bool null) {
            auto node = compare(Op::Equal);
            node->literalNull = null;
            if (!null) {
                node->text = truth ? "-1" : "0";
                node->numeric = !textField;
                node->number = truth ? (boolean ? 1 : -1) : 0;
            }
            return node;
        };
        std::vector<std::unique_ptr<Predicate::Node>> passing;
        QStringList said;
        const char *const words[] = {"True", "False", "Null"};
        for (int i = 0; i < 3; ++i) {
            if (like.matches((*search.yesNoWords)[std::size_t(i)].toStdString())) {
                passing.push_back(equalTo(i == 0, i == 2));
                said << field + QStringLiteral(" = ") + QLatin1String(words[i]);
            }
        }
        if (passing.size() == 1) {
            root = std::move(passing.front());
        } else {
            root = std::make_unique<Predicate::Node>();
            root->kind = passing.empty() ? Predicate::Node::Kind::And : Predicate::Node::Kind::Or;
            if (passing.empty()) {  // no word matches: no row passes
                passing.push_back(equalTo(true, false));
                passing.push_back(equalTo(false, false));
                said << field + QStringLiteral(" = True") << field + QStringLiteral(" = False");
            }
            root->terms = std::move(passing);
        }
        text = said.join(root->kind == Predicate::Node::Kind::And ? QStringLiteral(" AND ") : QStringLiteral(" OR "));
    }
    predicate = std::make_unique<Predicate>(std::move(root));
    return {};
}

}  // namespace criteria
