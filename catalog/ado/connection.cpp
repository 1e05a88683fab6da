#include "catalog/ado/connection.h"

#include "catalog/reader_client/catalog_file.h"
#include "catalog/listing/straight_run.h"
#include "catalog/engine/query_engine.h"

#include <QDir>
#include <QFileInfo>

namespace ado {

Connection::Connection() = default;
Connection::~Connection() = default;

QString Connection::dataSourceFromConnectionString(const QString &connectionString)
{
    // Pairs of "key=value" separated by ";"; a value in double or single quotes may hold ";"
    // (a doubled quote inside stands for one).
    QString value;
    bool found = false;
    for (qsizetype pos = 0; pos < connectionString.size();) {
        const qsizetype equals = connectionString.indexOf(QLatin1Char('='), pos);
        const qsizetype semicolon = connectionString.indexOf(QLatin1Char(';'), pos);
        if (equals < 0 || (semicolon >= 0 && semicolon < equals)) {
            if (semicolon < 0)
                break;
            pos = semicolon + 1;
            continue;
        }
        const QString key = connectionString.mid(pos, equals - pos).trimmed();
        qsizetype at = equals + 1;
        while (at < connectionString.size() && connectionString[at] == QLatin1Char(' '))
            ++at;
        QString part;
        const QChar quote = at < connectionString.size() ? connectionString[at] : QChar();
        if (quote == QLatin1Char('"') || quote == QLatin1Char('\'')) {
            for (++at; at < connectionString.size(); ++at) {
                if (connectionString[at] == quote) {
                    if (at + 1 < connectionString.size() && connectionString[at + 1] == quote) {
                        part.append(quote);
                        ++at;
                        continue;
                    }
                    ++at;
                    break;
                }
                part.append(connectionString[at]);
            }
            const qsizetype end = connectionString.indexOf(QLatin1Char(';'), at);
            pos = end < 0 ? connectionString.size() : end + 1;
        } else {
            const qsizetype end = connectionString.indexOf(QLatin1Char(';'), at);
            part = connectionString.mid(at, end < 0 ? -1 : end - at).trimmed();
            pos = end < 0 ? connectionString.size() : end + 1;
        }
        if (key.compare(QLatin1String("Data Source"), Qt::CaseInsensitive) == 0) {
            value = part;
            found = true;
        }
    }
    if (!found)
        return {};

    // The provider's separator is "\"; the folder part comes from the platform and may end
    // in its own separator, so any run of separators is one.
    QString path;
    path.reserve(value.size());
#ifdef Q_OS_WIN
    const bool unc = value.startsWith(QLatin1String("\\\\")) || value.startsWith(QLatin1String("//"));
#else
    const bool unc = false;
#endif
    for (QChar c : value) {
        const bool separator = c == QLatin1Char('\\') || c == QLatin1Char('/');
        if (separator && path.endsWith(QLatin1Char('/')))
            continue;
        path.append(separator ? QLatin1Char('/') : c);
    }
    if (unc)
        path.prepend(QLatin1Char('/'));
    return path;
}

void Connection::indexListingOrder()
{
    listing::holdTitles(*m_engine);
    m_engine->setProgressReport(m_progress);
}

Error Connection::Open(const QString &connectionString, const QString &, const QString &, int)
{
    m_engine.reset();
    m_path = dataSourceFromConnectionString(connectionString);
    const QString shown = QDir::toNativeSeparators(m_path);
    if (m_path.isEmpty())
        return {E_PROVIDER_FAIL, QStringLiteral("Could not find installable ISAM.")};
    const QFileInfo info(m_path);
    if (!info.exists() || info.isDir())
        return {E_PROVIDER_FAIL, QStringLiteral("Could not find file '%1'.").arg(shown)};
    auto file = std::make_unique<reader_client::CatalogFile>();
    if (Error error = file->open(m_path))
        return error;
    m_engine = std::make_unique<engine::QueryEngine>(std::move(file));
    indexListingOrder();
    return {};
}

Error Connection::openSource(std::unique_ptr<reader_client::TableSource> source, const QString &path)
{
    m_engine.reset();
    m_path = path;
    if (!source)
        return {E_PROVIDER_FAIL, QStringLiteral("No catalog to open.")};
    m_engine = std::make_unique<engine::QueryEngine>(std::move(source));
    indexListingOrder();
    return {};
}

bool Connection::isOpen() const
{
    return m_engine != nullptr;
}

QString Connection::dataSourcePath() const
{
    return m_path;
}

engine::QueryEngine *Connection::engine() const
{
    return m_engine.get();
}

void Connection::setProgressReport(ProgressReport report)
{
    m_progress = std::move(report);
    if (m_engine)
        m_engine->setProgressReport(m_progress);
}

}  // namespace ado
