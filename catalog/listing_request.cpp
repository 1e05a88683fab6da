#include "catalog/listing_request.h"

#include "catalog/listing_query.h"

namespace listing {

Request Request::allTitles()
{
    return {Kind::AllTitles, QString()};
}

Request Request::search(const QString &text)
{
    return {Kind::Search, text};
}

Request Request::category(const QString &idText)
{
    return {Kind::Category, idText};
}

Request Request::subCategory(const QString &idText)
{
    return {Kind::SubCategory, idText};
}

Request Request::title(const QString &name)
{
    return {Kind::Title, name};
}

QString Request::sql() const
{
    switch (m_kind) {
    case Kind::AllTitles: return allTitlesSql();
    case Kind::Search: return searchSql(m_value);
    case Kind::Category: return categorySql(m_value);
    case Kind::SubCategory: return subCategorySql(m_value);
    case Kind::Title: return singleTitleSql(m_value);
    }
    return QString();
}

}  // namespace listing
