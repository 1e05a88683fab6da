#pragma once

#include "catalog/shared_state.h"
#include "tests/support/test_data.h"
#include "tools/builder/jet_writer.h"
#include "tools/builder/script_source.h"

#include <QFile>
#include <QTemporaryDir>

#include <functional>

/// Odd catalogs for window tests, made as a user's would be: a fixture's table script,
/// changed line by line, through the catalog builder. `edit` gets each line and may change
/// it; the catalog is empty when the build fails.
inline QByteArray builtCatalog(const QString &script, const jet::layout::Format &format,
                               const std::function<void(QByteArray &line)> &edit)
{
    QFile in(testDataPath(script));
    QTemporaryDir dir;
    if (!in.open(QIODevice::ReadOnly) || !dir.isValid())
        return {};
    QByteArray text;
    for (QByteArray line : in.readAll().split('\n')) {
        edit(line);
        text += line + '\n';
    }
    text.chop(1);
    QFile edited(dir.filePath(QStringLiteral("edited.txt")));
    if (!edited.open(QIODevice::WriteOnly) || edited.write(text) != text.size())
        return {};
    edited.close();
    const QString built = dir.filePath(QStringLiteral("built.mdb"));
    try {
        build::ScriptSource source(edited.fileName().toStdString());
        build::writeJetFile(source, built.toStdString(), format);
    } catch (const build::BuildError &) {
        return {};
    }
    QFile out(built);
    return out.open(QIODevice::ReadOnly) ? out.readAll() : QByteArray();
}

/// Opens cnCatalog on catalog bytes, kept in `dir` while the connection reads them.
inline bool openCatalogBytes(const QByteArray &bytes, const QTemporaryDir &dir)
{
    QFile file(dir.filePath(QStringLiteral("shareware.accdb")));
    if (bytes.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    auto connection = std::make_shared<ado::Connection>();
    connection->CursorLocation = ado::adUseClient;
    if (connection->Open(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + file.fileName(), QString(),
                         QString(), ado::adConnectUnspecified))
        return false;
    cnCatalog = connection;
    return true;
}
