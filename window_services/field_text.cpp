#include "window_services/field_text.h"

#include <QDateTime>
#include <QLocale>

#include <cmath>

QString fieldText(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QString();
    const QLocale locale;
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Double:
    case QMetaType::Float: {
        // The shortest text that reads back as the same number, never in exponent form:
        // 1500000 stays "1500000", 29.95 stays "29.95".
        QLocale plain = locale;
        plain.setNumberOptions(QLocale::OmitGroupSeparator);
        return plain.toString(value.toDouble(), 'f', QLocale::FloatingPointShortest);
    }
    case QMetaType::QDateTime:
        return locale.toString(value.toDateTime(), QLocale::ShortFormat);
    case QMetaType::QDate:
        return locale.toString(value.toDate(), QLocale::ShortFormat);
    default:
        return value.toString();
    }
}

QString moneyText(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QString();
    if (value.typeId() == QMetaType::LongLong) {
        // A Large Number keeps every digit, past what a double holds.
        const qlonglong whole = value.toLongLong();
        const qulonglong magnitude = whole < 0 ? 0 - qulonglong(whole) : qulonglong(whole);
        QLocale grouped;
        grouped.setNumberOptions(grouped.numberOptions() & ~QLocale::OmitGroupSeparator);
        return (whole < 0 ? QStringLiteral("-$") : QStringLiteral("$")) + grouped.toString(magnitude) +
               grouped.decimalPoint() + QStringLiteral("00");
    }
    bool isNumber = false;
    const double amount = value.toDouble(&isNumber);
    if (!isNumber || !std::isfinite(amount))
        return fieldText(value);
    QLocale grouped;
    grouped.setNumberOptions(grouped.numberOptions() & ~QLocale::OmitGroupSeparator);
    const QString digits = grouped.toString(std::fabs(amount), 'f', 2);
    // A negative amount that rounds to zero shows no sign.
    const bool negative = amount < 0 && digits != grouped.toString(0.0, 'f', 2);
    return (negative ? QStringLiteral("-$") : QStringLiteral("$")) + digits;
}
