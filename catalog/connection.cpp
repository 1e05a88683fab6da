#include "connection.h"

#include "jet_file.h"
#include "query_engine.h"

#include <QDir>
#include <QFileInfo>

namespace ado {

Connection::Connection() = default;
Connection::~Connection() = default;

QString Connection::dataSourceFromConnectionString(const QString &connectionString)
{
    QString value;
    bool found = false;
    for (const QString &part : connectionString.split(QLatin1Char(';'))) {
        const qsizetype equals = part.indexOf(QLatin1Char('='));
        if (equals < 0)
            continue;
        if (part.left(equals).trimmed().compare(QLatin1String("Data Source"), Qt::CaseInsensitive) == 0) {
            value = part.mid(equals + 1).trimmed();
            found = true;
        }
    }
    if (!found)
        return {};
    if (value.size() >= 2 && (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\''))
        && value.back() == value.front())
        value = value.mid(1, value.size() - 2);

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
    // Every software listing is ordered by the title's name.
    m_engine->indexOnLoad(QStringLiteral("Software"), QStringLiteral("Name"));
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
    auto file = std::make_unique<jet::JetFile>();
    if (Error error = file->open(m_path))
        return error;
    m_engine = std::make_unique<QueryEngine>(std::move(file));
    indexListingOrder();
    return {};
}

Error Connection::openSource(std::unique_ptr<jet::TableSource> source, const QString &path)
{
    m_engine.reset();
    m_path = path;
    if (!source)
        return {E_PROVIDER_FAIL, QStringLiteral("No catalog to open.")};
    m_engine = std::make_unique<QueryEngine>(std::move(source));
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

QueryEngine *Connection::engine() const
{
    return m_engine.get();
}

}  // namespace ado
