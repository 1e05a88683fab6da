#include "window_services/field_text.h"

#include <QDateTime>
#include <QLocale>

#include <cmath>

namespace {

// As Access's General Date shows a date and time: the short date with its year in full, the
// long time without a time zone; no time at midnight, and no date on 1899-12-30, Jet's
// day zero, where a time alone is kept.
QString generalDate(const QDateTime &when, const QLocale &locale)
{
    QString date = locale.dateFormat(QLocale::ShortFormat);
    if (!date.contains(QLatin1String("yyyy")))
        date.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    QString time = locale.timeFormat(QLocale::LongFormat);
    time.remove(QLatin1Char('t'));
    time = time.trimmed();
    const QTime t = when.time();
    if (when.date() == QDate(1899, 12, 30) && t != QTime(0, 0))
        return locale.toString(t, time);
    if (t == QTime(0, 0))
        return locale.toString(when.date(), date);
    return locale.toString(when.date(), date) + QLatin1Char(' ') + locale.toString(t, time);
}

}  // namespace

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
        return generalDate(value.toDateTime(), locale);
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
