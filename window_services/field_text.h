#pragma once

#include <QString>
#include <QVariant>

/// A field value as the windows show it when no format is given: Null is empty text,
/// numbers are plain (no grouping, no exponent, the user's decimal separator), booleans
/// "True"/"False", dates as Access's General Date shows them on the user's locale
/// ("5/17/2019 9:03:17 PM", "5/17/2019" at midnight, "6:00:00 AM" on 1899-12-30), text
/// unchanged.
QString fieldText(const QVariant &value);

/// The money text "$###,##0.00" of a value, with the user's group and decimal separators:
/// 1234.5 gives "$1,234.50", 0 gives "$0.00", a negative value "-$5.00". Null gives empty
/// text; a value that is not a number comes back as its plain text.
QString moneyText(const QVariant &value);
