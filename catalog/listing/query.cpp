#include "catalog/listing/query.h"

#include <iterator>

namespace listing {

namespace {

constexpr JoinedTable kJoined[] = {
    {'B', "SoftwareType", "SoftwareTypeID"},
    {'C', "Site", "SiteID"},
};
static_assert(std::size(kJoined) == kJoinedCount);

constexpr HeadColumn kHead[] = {
    {'A', kNameColumn, true},          {'A', kDescriptionColumn, true},
    {'A', "Price"},                    {'B', "Description", true, "Type"},
    {'A', "Requirements"},             {'A', "Uninstaller"},
    {'A', "Limitations"},              {'A', "ScreenURL"},
    {'A', "DownloadURL1"},             {'A', "DownloadURL2"},
    {'A', "DownloadURL3"},             {'A', "BuyURL"},
    {'A', "Rating"},                   {'C', "Name", true, "[Company Name]"},
    {'C', "URL", true, "[Company URL]"}, {'C', "Description", true, "[Company Desc]"},
};

// "SoftwareType B, Site C WHERE ": the joined tables, after the head's "Software A,".
QString composeTailStart()
{
    QString out;
    for (const JoinedTable &t : kJoined)
        out += (out.isEmpty() ? QString() : QStringLiteral(", ")) + QLatin1String(t.table) + QLatin1Char(' ')
            + QLatin1Char(t.as);
    return out + QLatin1String(" WHERE ");
}

// "A.SoftwareTypeID = B.SoftwareTypeID AND A.SiteID = C.SiteID".
QString composeJoinCondition()
{
    QString out;
    for (const JoinedTable &t : kJoined) {
        const QString key = QLatin1Char('.') + QLatin1String(t.key);
        out += (out.isEmpty() ? QString() : QStringLiteral(" AND ")) + QLatin1Char('A') + key + QLatin1String(" = ")
            + QLatin1Char(t.as) + key;
    }
    return out;
}

const QString &tailStart()
{
    static const QString text = composeTailStart();
    return text;
}

const QString &joinCondition()
{
    static const QString text = composeJoinCondition();
    return text;
}

const QLatin1StringView kOrder(" ORDER BY A.Name");

// Values go between single quotes in the statement; doubling a quote keeps the literal
// whole, so a title such as Don't Panic is found instead of breaking the statement.
QString quoted(const QString &text)
{
    QString out = text;
    out.replace(QLatin1Char('\''), QLatin1String("''"));
    return out;
}

}  // namespace

std::span<const JoinedTable> joinedTables()
{
    return kJoined;
}

std::span<const HeadColumn> headColumns()
{
    return kHead;
}

namespace {

QString composeHead()
{
    QString out = QStringLiteral("SELECT ");
    for (std::size_t i = 0; i < std::size(kHead); ++i) {
        const HeadColumn &c = kHead[i];
        if (i)
            out += QLatin1Char(',');
        if (c.qualified)
            out += QLatin1Char(c.from) + QStringLiteral(".");
        out += QLatin1String(c.column);
        if (c.alias)
            out += QLatin1String(" As ") + QLatin1String(c.alias);
    }
    return out + QLatin1String(" FROM ") + QLatin1String(kTitlesTable) + QLatin1String(" A,");
}

}  // namespace

QString listingHead()
{
    static const QString head = composeHead();
    return head;
}

QString allTitlesSql()
{
    return listingHead() + tailStart() + joinCondition() + kOrder;
}

QString searchSql(const QString &text)
{
    const QString value = quoted(text);
    return listingHead() + tailStart() + QLatin1String("(A.Name LIKE '%") + value
        + QLatin1String("%' OR A.Description LIKE '%") + value + QLatin1String("%') AND ")
        + joinCondition() + kOrder;
}

QString categorySql(const QString &categoryIdText)
{
    return listingHead() + tailStart() + QLatin1String(kCategoryColumn) + QLatin1String(" = ") + categoryIdText
        + QLatin1String(" AND ") + joinCondition() + kOrder;
}

QString subCategorySql(const QString &subCategoryIdText)
{
    return listingHead() + tailStart() + QLatin1String(kSubCategoryColumn) + QLatin1String(" = ") + subCategoryIdText
        + QLatin1String(" AND ") + joinCondition() + kOrder;
}

QString singleTitleSql(const QString &name)
{
    return listingHead() + tailStart() + QLatin1String("A.Name ='") + quoted(name)
        + QLatin1String("' AND ") + joinCondition();
}

QString trimBlanks(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' '))
        ++first;
    while (last > first && text.at(last - 1) == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

QString searchTitle(const QString &text)
{
    return QLatin1String("Search Results for '") + text + QLatin1Char('\'');
}

QString subCategoryTitle(const QString &categoryCaption, const QString &subCategoryName)
{
    return categoryCaption + QLatin1String(" > ") + subCategoryName;
}

}  // namespace listing
