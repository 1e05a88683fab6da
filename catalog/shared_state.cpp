#include "catalog/shared_state.h"

std::shared_ptr<ado::Connection> cnCatalog;
std::shared_ptr<ado::Recordset> rsSoftware;
QString strListingSql;
QString strListingTitle;
QString strConnect;
QString strAppPath;

void resetSharedState()
{
    rsSoftware.reset();
    cnCatalog.reset();
    strListingSql.clear();
    strListingTitle.clear();
    strConnect.clear();
    strAppPath.clear();
}

QString catalogConnectionString(const QString &appPath)
{
    // The folder goes in unchanged: a trailing separator gives two in a row, which the
    // connection treats as one.
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + appPath
        + QStringLiteral("\\shareware.mdb;Persist Security Info=False;");
}

QString catalogFileConnectionString(const QString &filePath)
{
    QString source = filePath;
    if (source.contains(QLatin1Char(';')) || source.contains(QLatin1Char('"')) || source.contains(QLatin1Char('\''))
        || source.startsWith(QLatin1Char(' ')) || source.endsWith(QLatin1Char(' ')))
        source = QLatin1Char('"') + source.replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + source
        + QStringLiteral(";Persist Security Info=False;");
}
