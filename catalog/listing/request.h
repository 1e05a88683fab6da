#pragma once

#include <QMetaType>
#include <QString>
#include <QVariant>

#include <optional>

/// A software listing as the windows ask for it: by what it lists, not by a statement's
/// text. The text the listing travels as (strListingSql) is generated from it.
namespace listing {

class Request {
public:
    enum class Kind { AllTitles, Search, Category, SubCategory, Title };

    /// All titles.
    Request() = default;

    static Request allTitles();
    /// Titles whose name or description contains `text` ("%" and "_" stay wildcards).
    static Request search(const QString &text);
    /// Titles of one category or subcategory; the id's text as the catalog lists it, written
    /// into the statement as it stands, and beside it the id as a whole number where the
    /// catalog keys by one (without it the statement is run as its text).
    static Request category(const QString &idText, std::optional<qint64> key = std::nullopt);
    static Request subCategory(const QString &idText, std::optional<qint64> key = std::nullopt);
    /// The one title named `name`.
    static Request title(const QString &name);

    Kind kind() const { return m_kind; }
    /// The search text, the id's text or the name; empty for all titles.
    const QString &value() const { return m_value; }
    /// A category's or subcategory's id as the whole number the catalog gave.
    std::optional<qint64> key() const { return m_key; }

    /// The listing's statement, character for character as the windows compose it.
    QString sql() const;

    bool operator==(const Request &) const = default;

private:
    Request(Kind kind, const QString &value, std::optional<qint64> key = std::nullopt)
        : m_kind(kind), m_value(value), m_key(key) {}

    Kind m_kind = Kind::AllTitles;
    QString m_value;
    std::optional<qint64> m_key;
};

/// The whole number a key the catalog gave is, for a key of a whole-number type; none for
/// any other (a text or GUID key, a Null).
std::optional<qint64> wholeNumberKey(const QVariant &value);

}  // namespace listing

Q_DECLARE_METATYPE(listing::Request)
