#include "catalog/listing/request.h"

#include "catalog/listing/query.h"

namespace listing {

Request Request::allTitles()
{
    return {Kind::AllTitles, QString()};
}

Request Request::search(const QString &text)
{
    return {Kind::Search, text};
}

Request Request::category(const QString &idText, std::optional<qint64> key)
{
    return {Kind::Category, idText, key};
}

Request Request::subCategory(const QString &idText, std::optional<qint64> key)
{
    return {Kind::SubCategory, idText, key};
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

std::optional<qint64> wholeNumberKey(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::UChar:
    case QMetaType::SChar:
    case QMetaType::UInt: return value.toLongLong();
    default: return std::nullopt;
    }
}

}  // namespace listing
