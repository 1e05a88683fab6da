#pragma once

#include <QString>

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
    /// Titles of one category or subcategory; the id as the catalog lists it, written into
    /// the statement as it stands.
    static Request category(const QString &idText);
    static Request subCategory(const QString &idText);
    /// The one title named `name`.
    static Request title(const QString &name);

    Kind kind() const { return m_kind; }
    /// The search text, the id's text or the name; empty for all titles.
    const QString &value() const { return m_value; }

    /// The listing's statement, character for character as the windows compose it.
    QString sql() const;

    bool operator==(const Request &) const = default;

private:
    Request(Kind kind, const QString &value) : m_kind(kind), m_value(value) {}

    Kind m_kind = Kind::AllTitles;
    QString m_value;
};

}  // namespace listing
