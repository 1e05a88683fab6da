#pragma once

// The catalog tools built beside a test program, run as a user runs them.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>

/// The tool `name` (catalog-build, catalog-dump, index-probe) beside this program.
inline QString tool(const char *name) { return QDir(QCoreApplication::applicationDirPath()).filePath(QLatin1String(name)); }

/// The bytes of the file at `path`, or none when it cannot be read.
inline QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

/// A program run to its end. `code` is -1 when it did not start, did not end or crashed;
/// `failure` then, or for any other status than 0, says how it ended and what it wrote to
/// standard error, so that a test's message tells why a run failed.
struct ToolRun {
    int code = -1;
    QByteArray out, err, failure;
};

/// Runs `program` with `args`, and the settings `env` ("NAME=value", or "NAME" to take one
/// away) over this process's.
inline ToolRun runTool(const QString &program, const QStringList &args, const QStringList &env = {})
{
    QProcess p;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &setting : env)
        if (setting.contains('='))
            environment.insert(setting.section('=', 0, 0), setting.section('=', 1));
        else
            environment.remove(setting);
    p.setProcessEnvironment(environment);
    p.start(program, args);
    ToolRun r;
    const bool ended = p.waitForStarted() && p.waitForFinished(600000);
    if (!ended) {
        p.kill();
        p.waitForFinished();
    }
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    if (ended && p.exitStatus() == QProcess::NormalExit)
        r.code = p.exitCode();
    const QByteArray name = QFileInfo(program).fileName().toUtf8();
    if (!ended)
        r.failure = name + " did not start or end: " + p.errorString().toUtf8();
    else if (r.code < 0)
        r.failure = name + " crashed: " + p.errorString().toUtf8();
    else if (r.code != 0)
        r.failure = name + " ended with exit code " + QByteArray::number(r.code);
    if (!r.failure.isEmpty())
        r.failure += r.err.isEmpty() ? QByteArray(", writing nothing to standard error") : "; standard error:\n" + r.err;
    return r;
}

/// Writes the table script `script` to `source` and builds it into `out` with catalog-build's
/// `options` (a format); how the build failed when it did, else nothing.
inline QByteArray buildScript(const QByteArray &script, const QString &source, const QString &out,
                              const QStringList &options = {})
{
    QFile s(source);
    if (!s.open(QIODevice::WriteOnly) || s.write(script) != script.size())
        return "cannot write " + source.toUtf8();
    s.close();
    return runTool(tool("catalog-build"), options + QStringList{source, out}).failure;
}
