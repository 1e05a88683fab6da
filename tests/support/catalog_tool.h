#pragma once

// The catalog tools built beside a test program, run as a user runs them.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

/// The tool `name` (catalog-build, catalog-dump, index-probe) beside this program.
inline QString tool(const char *name) { return QDir(QCoreApplication::applicationDirPath()).filePath(QLatin1String(name)); }

/// Writes the table script `script` to `source` and builds it into `out` with catalog-build's
/// `options` (a format); the builder's complaint when it fails, else nothing.
inline QByteArray buildScript(const QByteArray &script, const QString &source, const QString &out,
                              const QStringList &options = {})
{
    QFile s(source);
    if (!s.open(QIODevice::WriteOnly) || s.write(script) != script.size())
        return "cannot write " + source.toUtf8();
    s.close();
    QProcess p;
    p.start(tool("catalog-build"), options + QStringList{source, out});
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return "catalog-build failed: " + p.readAllStandardError();
    return {};
}
