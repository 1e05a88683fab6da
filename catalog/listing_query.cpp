#include "listing_query.h"

#include <QRegularExpression>

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

namespace {

/// The text of `sql` between `prefix` and `suffix`, when it has both.
std::optional<QString> between(const QString &sql, const QString &prefix, const QString &suffix)
{
    if (sql.size() < prefix.size() + suffix.size() || !sql.startsWith(prefix) || !sql.endsWith(suffix))
        return std::nullopt;
    return sql.mid(prefix.size(), sql.size() - prefix.size() - suffix.size());
}

std::optional<qint64> plainWholeNumber(const QString &text)
{
    static const QRegularExpression kPlain(QStringLiteral("^-?[0-9]{1,18}$"));
    if (!kPlain.match(text).hasMatch())
        return std::nullopt;
    return text.toLongLong();
}

}  // namespace

std::optional<Shape> recognise(const QString &sql)
{
    const QString head = listingHead() + kTailStart;
    const QString joinedInOrder = QLatin1String(" AND ") + kJoin + kOrder;
    if (sql == allTitlesSql())
        return Shape{};
    for (const auto &[column, filter] : {std::pair{QLatin1String("CategoryID = "), Shape::Filter::CategoryId},
                                         std::pair{QLatin1String("SubCategoryID = "), Shape::Filter::SubCategoryId}}) {
        if (const auto text = between(sql, head + column, joinedInOrder))
            if (const auto id = plainWholeNumber(*text))
                return Shape{filter, QString(), *id, true};
    }
    // The text is quoted twice in the search; each quoted copy is the same length.
    const QLatin1StringView separator("%' OR A.Description LIKE '%");
    if (const auto middle = between(sql, head + QLatin1String("(A.Name LIKE '%"), QLatin1String("%')") + joinedInOrder)) {
        const qsizetype half = (middle->size() - separator.size()) / 2;
        QString text = middle->left(half);
        text.replace(QLatin1String("''"), QLatin1String("'"));
        if (half >= 0 && searchSql(text) == sql)
            return Shape{Shape::Filter::Search, text, 0, true};
    }
    if (auto name = between(sql, head + QLatin1String("A.Name ='"), QLatin1String("' AND ") + kJoin)) {
        name->replace(QLatin1String("''"), QLatin1String("'"));
        if (singleTitleSql(*name) == sql)
            return Shape{Shape::Filter::Name, *name, 0, false};
    }
    return std::nullopt;
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
