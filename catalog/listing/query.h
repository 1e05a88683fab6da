#pragma once

#include <QString>

#include <span>

/// The software listing statements and their titles, composed by plain concatenation of
/// fixed pieces and the values given. Every statement starts with listingHead().
namespace listing {

/// The titles, the table every listing reads and the one whose rows are held in name order.
inline constexpr char kTitlesTable[] = "Software";
inline constexpr char kNameColumn[] = "Name";
inline constexpr char kDescriptionColumn[] = "Description";
inline constexpr char kCategoryColumn[] = "CategoryID";
inline constexpr char kSubCategoryColumn[] = "SubCategoryID";

/// A table the titles are joined to: its name, the letter it goes by and the key column it
/// shares with the titles.
struct JoinedTable {
    char as;
    const char *table;
    const char *key;
};
/// How many tables the titles join: one type and one site each.
inline constexpr std::size_t kJoinedCount = 2;
/// The title's type (B), then its company's site (C).
std::span<const JoinedTable> joinedTables();

/// One column of the listing head: where it comes from (A, the titles, or a joined table's
/// letter), whether the statement names it with that letter, and the name it is given.
struct HeadColumn {
    char from;
    const char *column;
    bool qualified = false;
    const char *alias = nullptr;
};
/// The listing's columns in order: the head text and the straight run both follow this list.
std::span<const HeadColumn> headColumns();

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

/// `text` without its leading and trailing blanks (the space character only: a tab or a
/// line break stays part of a search text).
QString trimBlanks(const QString &text);

/// "Search Results for '<text>'".
QString searchTitle(const QString &text);
/// "<category> > <subcategory>".
QString subCategoryTitle(const QString &categoryCaption, const QString &subCategoryName);

}  // namespace listing
