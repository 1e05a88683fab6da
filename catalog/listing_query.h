#pragma once

#include <QString>

#include <optional>

/// The software listing statements and their titles, composed by plain concatenation of
/// fixed pieces and the values given. Every statement starts with listingHead().
namespace listing {

/// The 252-character column head shared by every statement.
QString listingHead();

/// All titles, ordered by name (356 characters).
QString allTitlesSql();
/// Titles whose name or description contains `text`; a single quote in it is doubled so
/// the statement stays well-formed; "%" and "_" stay wildcards.
QString searchSql(const QString &text);
/// Titles of one category; `categoryIdText` goes in unquoted.
QString categorySql(const QString &categoryIdText);
/// Titles of one subcategory; `subCategoryIdText` goes in unquoted.
QString subCategorySql(const QString &subCategoryIdText);
/// The one title named `name` (quote doubled), unordered.
QString singleTitleSql(const QString &name);

/// What one of the statements above asks for, read back from its text.
struct Shape {
    enum class Filter { None, Search, CategoryId, SubCategoryId, Name };
    Filter filter = Filter::None;
    QString text;        ///< Search: the text searched for; Name: the name
    qint64 id = 0;       ///< CategoryId, SubCategoryId
    bool ordered = true; ///< by name (all but Name)
};
/// The shape of `sql` when it is exactly one of the statements above (an id given as a plain
/// whole number); none otherwise.
std::optional<Shape> recognise(const QString &sql);

/// `text` without its leading and trailing blanks (the space character only: a tab or a
/// line break stays part of a search text).
QString trimBlanks(const QString &text);

/// "Search Results for '<text>'".
QString searchTitle(const QString &text);
/// "<category> > <subcategory>".
QString subCategoryTitle(const QString &categoryCaption, const QString &subCategoryName);

}  // namespace listing
