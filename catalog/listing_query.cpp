#include "listing_query.h"

namespace listing {

namespace {

const QLatin1StringView kTailStart("SoftwareType B, Site C WHERE ");
const QLatin1StringView kJoin("A.SoftwareTypeID = B.SoftwareTypeID AND A.SiteID = C.SiteID");
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

QString listingHead()
{
    return QStringLiteral("SELECT A.Name,A.Description,Price,B.Description As Type,")
        + QStringLiteral("Requirements,Uninstaller,Limitations,ScreenURL,")
        + QStringLiteral("DownloadURL1,DownloadURL2,DownloadURL3,BuyURL,Rating,C.Name As [Company Name],")
        + QStringLiteral("C.URL As [Company URL],C.Description As [Company Desc] FROM Software A,");
}

QString allTitlesSql()
{
    return listingHead() + kTailStart + kJoin + kOrder;
}

QString searchSql(const QString &text)
{
    const QString value = quoted(text);
    return listingHead() + kTailStart + QLatin1String("(A.Name LIKE '%") + value
        + QLatin1String("%' OR A.Description LIKE '%") + value + QLatin1String("%') AND ")
        + kJoin + kOrder;
}

QString categorySql(const QString &categoryIdText)
{
    return listingHead() + kTailStart + QLatin1String("CategoryID = ") + categoryIdText
        + QLatin1String(" AND ") + kJoin + kOrder;
}

QString subCategorySql(const QString &subCategoryIdText)
{
    return listingHead() + kTailStart + QLatin1String("SubCategoryID = ") + subCategoryIdText
        + QLatin1String(" AND ") + kJoin + kOrder;
}

QString singleTitleSql(const QString &name)
{
    return listingHead() + kTailStart + QLatin1String("A.Name ='") + quoted(name)
        + QLatin1String("' AND ") + kJoin;
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
