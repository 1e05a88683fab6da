#include "catalog/reader_client/catalog_file.h"

#include "catalog/reader_client/job.h"
#include "catalog/reader_client/reply.h"
#include "jet/protocol.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>

#ifdef Q_OS_WIN
#include <windows.h>
#endif
#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace proto = jet::protocol;

namespace reader_client {
namespace {

QString g_readerOverride;

// Limits on the reader process. A well-formed catalog needs far less; these only stop a
// hostile one from costing the program more than a few seconds or a bounded amount of memory.
constexpr int kIdleTimeoutMs = 5000;            // no data from the reader for this long: it is stuck
constexpr qint64 kRequestBaseMs = 15000;        // per request, plus time for the file's size
constexpr qint64 kRequestMsPerMiB = 200;
// A table read that keeps bringing the rows its table declares is given that time again
// from its latest rows (a busy machine slows it, it is not stuck), but never more than
// this many times the time in all.
constexpr int kRequestCapTimes = 4;
constexpr qint64 kMemoryBase = 256ll << 20;     // address space: base plus twice the file
constexpr qint64 kCpuSecondsBase = 30;          // processor time: base plus a second per 8 MiB
constexpr qint64 kCpuBytesPerSecond = 8ll << 20;
constexpr qint64 kBytesBase = 64ll << 20;       // bytes one request may return: base plus 8x the file
constexpr int kBytesPerFileByte = 8;
constexpr int kStopWaitMs = 1000;

// A path as the system writes it (backslashes on Windows).
QString quoted(const QString &path) { return QLatin1Char('\'') + QDir::toNativeSeparators(path) + QLatin1Char('\''); }

ado::Error providerError(const QString &description) { return {ado::E_PROVIDER_FAIL, description}; }

}  // namespace

struct CatalogFile::Impl {
    qint64 requestBaseMs = kRequestBaseMs;
    QString path;
    qint64 fileSize = 0;
    QStringList tables;
    bool opened = false;
    std::unique_ptr<QProcess> process;
#ifdef Q_OS_WIN
    std::unique_ptr<ReaderJob> job;  // closed, it ends the reader
#endif
    // The reader's output, read straight from its pipe: a large table is hundreds of
    // megabytes, and QProcess would copy each byte once more in chunks of 64 KiB.
    int output = -1;
    QByteArray buffer;
    qsizetype consumed = 0;
    qint64 requestBytes = 0;

    /// What went wrong with the process itself, in words for the caller.
    QString processFault(const QString &what) const
    {
        return QStringLiteral("The catalog file %1 could not be read: the reader process %2.").arg(quoted(path), what);
    }

    QString faultText(proto::Fault fault, const QString &detail) const
    {
        switch (fault) {
        case proto::Fault::NotFound:
            return QStringLiteral("Could not find file %1.").arg(quoted(path));
        case proto::Fault::Unrecognized:
            return QStringLiteral("Unrecognized database format %1.").arg(quoted(path));
        case proto::Fault::Damaged:
            return QStringLiteral("The catalog file %1 is damaged: %2.").arg(quoted(path), detail);
        case proto::Fault::Unreadable:
            return QStringLiteral("The catalog file %1 cannot be read: %2.").arg(quoted(path), detail);
        case proto::Fault::NoSuchTable:
            return QStringLiteral("The Microsoft Jet database engine cannot find the input table or query %1 in %2.")
                .arg(detail, quoted(path));
        case proto::Fault::Unsupported:
            return QStringLiteral("The catalog file %1 holds data that cannot be read: %2.").arg(quoted(path), detail);
        case proto::Fault::Protected:
            return QStringLiteral("The catalog file %1 is %2: it cannot be read until it is saved without a password "
                                  "or encryption.").arg(quoted(path), detail);
        case proto::Fault::OtherFormat:
            return QStringLiteral("The catalog file %1 is in %2, a database format that cannot be read.")
                .arg(quoted(path), detail);
        case proto::Fault::Protocol:
            break;
        }
        return processFault(QStringLiteral("refused a request (%1)").arg(detail));
    }

    void stop()
    {
        if (!process)
            return;
        process->disconnect();
        // A reader blocked on a full pipe sees it closed and ends, instead of being waited for.
        closeOutput();
        if (process->state() != QProcess::NotRunning) {
            process->closeWriteChannel();
            if (!process->waitForFinished(kStopWaitMs)) {
                process->kill();
                process->waitForFinished(kStopWaitMs);
            }
        }
        process.reset();
#ifdef Q_OS_WIN
        job.reset();
#endif
        buffer.clear();
        consumed = 0;
    }

    void closeOutput()
    {
#ifdef Q_OS_UNIX
        if (output >= 0)
            ::close(output);
        output = -1;
#endif
    }

    ado::Error start()
    {
        stop();
        process = std::make_unique<QProcess>();
        process->setProgram(CatalogFile::readerProgram());
        process->setArguments({QDir::toNativeSeparators(path)});
        // The reader's complaints on stderr would fill an unread pipe and stall it. A
        // sanitised reader's reports go to a file in the folder QUORBIX_READER_REPORTS names,
        // where a test reads them: they would be lost, and the reader seen only as stopped.
        process->setStandardErrorFile(QProcess::nullDevice());
        if (const QString reports = readerReportFile(); !reports.isEmpty())
            process->setStandardErrorFile(reports, QIODevice::Append);
        // Nothing of this program's environment is the reader's business (it closes any
        // descriptor it inherits beyond its pipes itself).
        QProcessEnvironment environment;
#ifdef Q_OS_WIN
        // Windows' own libraries look for their folder here.
        environment.insert(QStringLiteral("SystemRoot"), qEnvironmentVariable("SystemRoot"));
        job = std::make_unique<ReaderJob>(kMemoryBase + 2 * fileSize, kCpuSecondsBase + fileSize / kCpuBytesPerSecond);
        if (const QString why = job->prepare(*process); !why.isEmpty())
            return notStarted(why);
#endif
        process->setProcessEnvironment(environment);
#ifdef Q_OS_UNIX
        const rlim_t memory = rlim_t(kMemoryBase + 2 * fileSize);
        const rlim_t cpu = rlim_t(kCpuSecondsBase + fileSize / kCpuBytesPerSecond);
        int pipeEnds[2];
        if (pipe2(pipeEnds, O_CLOEXEC) != 0)
            return notStarted();
        output = pipeEnds[0];
        const int childOutput = pipeEnds[1];
#ifdef __linux__
        // A large table's rows then cross in fewer, larger reads, with fewer wake-ups on each
        // side. Where the system allows no such pipe, the one it gave serves as well.
        (void)fcntl(output, F_SETPIPE_SZ, 1 << 20);
#endif
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setChildProcessModifier([memory, cpu, childOutput] {
            // Runs in the child between fork and exec: only async-signal-safe calls.
            dup2(childOutput, STDOUT_FILENO);  // the copy is left open across exec
#ifdef QUORBIX_SANITIZED
            // AddressSanitizer reserves terabytes of address space for its shadow memory
            // before main(): the limit leaves room for that and still bounds what the
            // reader allocates beyond it.
            constexpr rlim_t kSanitizerReserve = rlim_t(1) << 45;  // 32 TiB
            struct rlimit as = {memory + kSanitizerReserve, memory + kSanitizerReserve};
#else
            struct rlimit as = {memory, memory};
#endif
            setrlimit(RLIMIT_AS, &as);
            struct rlimit cpuLimit = {cpu, cpu + 1};
            setrlimit(RLIMIT_CPU, &cpuLimit);
            struct rlimit core = {0, 0};
            setrlimit(RLIMIT_CORE, &core);
        });
#endif
        process->start(QIODevice::ReadWrite);
#ifdef Q_OS_UNIX
        ::close(childOutput);
        fcntl(output, F_SETFL, fcntl(output, F_GETFL) | O_NONBLOCK);
#endif
        if (!process->waitForStarted(kIdleTimeoutMs))
            return notStarted();
#ifdef Q_OS_WIN
        if (const QString why = job->adopt(*process); !why.isEmpty())
            return notStarted(why);
#endif
        requestBytes = 0;
        proto::FrameKind kind;
        QByteArray payload;
        if (auto err = nextFrame(kind, payload, requestDeadline()))
            return err;
        proto::PayloadReader in(payload.constData(), size_t(payload.size()));
        if (kind == proto::FrameKind::Failure)
            return failure(in);
        if (kind != proto::FrameKind::Opened || !reply::readOpened(std::string_view(payload.constData(), size_t(payload.size())), tables))
            return malformed();
        return {};
    }

    /// The reader could not be started (nor confined, for `why`): nothing of it is left running.
    ado::Error notStarted(const QString &why = {})
    {
        const QString program = process ? process->program() : CatalogFile::readerProgram();
        stop();
        const QString text = QStringLiteral("The catalog reader %1 could not be started.").arg(quoted(program));
        return providerError(why.isEmpty() ? text : text.chopped(1) + QStringLiteral(" (%1).").arg(why));
    }

    /// Where a sanitised reader's reports go; empty when nowhere (always, unsanitised).
    static QString readerReportFile()
    {
#ifdef QUORBIX_SANITIZED
        const QString folder = qEnvironmentVariable("QUORBIX_READER_REPORTS");
        return folder.isEmpty() ? QString() : QDir(folder).filePath(QStringLiteral("reader.log"));
#else
        return {};
#endif
    }

    /// The words for a reader that ended without a word: with where its report is, if any.
    QString stoppedUnexpectedly() const
    {
        const QString reports = readerReportFile();
        if (!reports.isEmpty() && QFileInfo(reports).size() > 0)
            return QStringLiteral("stopped unexpectedly (reports in %1)").arg(quoted(reports));
        return QStringLiteral("stopped unexpectedly");
    }

    qint64 requestMs() const { return requestBaseMs + kRequestMsPerMiB * (fileSize >> 20); }
    QDeadlineTimer requestDeadline() const { return QDeadlineTimer(requestMs()); }

    ado::Error malformed()
    {
        stop();
        return providerError(processFault(QStringLiteral("sent malformed data")));
    }

    ado::Error failure(proto::PayloadReader &in)
    {
        std::uint8_t fault = 0;
        std::string_view detail;
        if (!in.u8(fault) || !in.string(detail) || !in.atEnd())
            return malformed();
        return providerError(faultText(static_cast<proto::Fault>(fault),
                                       QString::fromUtf8(detail.data(), qsizetype(detail.size()))));
    }

    /// The next frame from the reader, within the request's deadline and the idle limit.
    ado::Error nextFrame(proto::FrameKind &kind, QByteArray &payload, const QDeadlineTimer &deadline)
    {
        const qint64 byteLimit = kBytesBase + kBytesPerFileByte * fileSize;
        while (true) {
            const qsizetype available = buffer.size() - consumed;
            if (available >= 5) {
                proto::PayloadReader head(buffer.constData() + consumed, 4);
                std::uint32_t len = 0;
                head.u32(len);
                if (len < 1 || len > proto::kMaxFrame)
                    return malformed();
                if (available >= qsizetype(len) + 4) {
                    kind = static_cast<proto::FrameKind>(static_cast<std::uint8_t>(buffer[consumed + 4]));
                    payload = QByteArray::fromRawData(buffer.constData() + consumed + 5, len - 1);
                    consumed += qsizetype(len) + 4;
                    return {};
                }
            }
            if (consumed > 0 && consumed >= buffer.size() / 2) {
                buffer.remove(0, consumed);
                consumed = 0;
            }
#ifdef Q_OS_UNIX
            // Room for a whole frame, or a large read: one wake-up takes what the pipe holds.
            constexpr qsizetype kReadRoom = qsizetype(1) << 20;
            const qsizetype had = buffer.size();
            buffer.resize(had + kReadRoom);
            const ssize_t got = ::read(output, buffer.data() + had, size_t(kReadRoom));
            buffer.resize(had + qsizetype(std::max<ssize_t>(got, 0)));
            if (got == 0) {
                // What an ended reader left in the pipe has been read; then it is gone.
                stop();
                return providerError(processFault(stoppedUnexpectedly()));
            }
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                if (errno != EAGAIN && errno != EWOULDBLOCK) {
                    stop();
                    return providerError(processFault(stoppedUnexpectedly()));
                }
                if (deadline.hasExpired()) {
                    stop();
                    return providerError(processFault(QStringLiteral("took too long")));
                }
                const int wait = int(std::min<qint64>(kIdleTimeoutMs, std::max<qint64>(1, deadline.remainingTime())));
                pollfd ready{output, POLLIN, 0};
                const int polled = ::poll(&ready, 1, wait);
                if (polled == 0) {
                    stop();
                    return providerError(processFault(QStringLiteral("took too long")));
                }
                continue;
            }
#else
            // What a reader that has ended left in the pipe still counts; then it is gone.
            const bool running = process && process->state() == QProcess::Running;
            if (!running && !(process && process->bytesAvailable() > 0)) {
                stop();
                return providerError(processFault(stoppedUnexpectedly()));
            }
            if (running && deadline.hasExpired()) {
                stop();
                return providerError(processFault(QStringLiteral("took too long")));
            }
            if (running && process->bytesAvailable() == 0) {
                const int wait = int(std::min<qint64>(kIdleTimeoutMs, std::max<qint64>(1, deadline.remainingTime())));
                if (!process->waitForReadyRead(wait)) {
                    if (process->state() == QProcess::Running && process->bytesAvailable() == 0) {
                        stop();
                        return providerError(processFault(QStringLiteral("took too long")));
                    }
                    continue;
                }
            }
            // Read straight onto the end of the buffer: a large table is hundreds of megabytes.
            const qsizetype had = buffer.size();
            buffer.resize(had + qsizetype(process->bytesAvailable()));
            const qint64 got = process->read(buffer.data() + had, buffer.size() - had);
            buffer.resize(had + qsizetype(std::max<qint64>(got, 0)));
#endif
            requestBytes += std::max<qint64>(qint64(got), 0);
            if (requestBytes > byteLimit) {
                stop();
                return providerError(processFault(QStringLiteral("sent more data than the file can hold")));
            }
        }
    }
};

CatalogFile::CatalogFile() : d(std::make_unique<Impl>()) {}

CatalogFile::~CatalogFile() { d->stop(); }

ado::Error CatalogFile::open(const QString &path)
{
    close();
    d->path = path;
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        return providerError(QStringLiteral("Could not find file %1.").arg(quoted(path)));
    d->fileSize = info.size();
    if (auto err = d->start()) {
        d->stop();
        d->tables.clear();
        return err;
    }
    d->opened = true;
    return {};
}

bool CatalogFile::isOpen() const { return d->opened; }

void CatalogFile::close()
{
    d->stop();
    d->tables.clear();
    d->opened = false;
}

QStringList CatalogFile::tableNames() const { return d->tables; }

ado::Error CatalogFile::readTable(const QString &name, RowSink &sink)
{
    if (!d->opened)
        return providerError(QStringLiteral("The catalog file is not open."));
    if (!d->process || d->process->state() != QProcess::Running) {
        // A reader that died on an earlier table is started again for this one.
        const QStringList known = d->tables;
        if (auto err = d->start())
            return err;
        d->tables = known;
    }
    std::string request;
    const auto at = proto::beginFrame(request, proto::FrameKind::ReadTable);
    proto::putString(request, name.toStdString());
    proto::finishFrame(request, at);
    d->requestBytes = 0;
    // Written at once: the reply is read from the reader's pipe, not through QProcess's loop.
    if (d->process->write(request.data(), qint64(request.size())) != qint64(request.size())
        || (d->process->bytesToWrite() > 0 && !d->process->waitForBytesWritten(kIdleTimeoutMs))) {
        d->stop();
        return providerError(d->processFault(d->stoppedUnexpectedly()));
    }
    QDeadlineTimer deadline = d->requestDeadline();
    const QDeadlineTimer cap(kRequestCapTimes * d->requestMs());

    reply::TableReply reply(sink);
    while (true) {
        proto::FrameKind kind;
        QByteArray payload;
        if (auto err = d->nextFrame(kind, payload, deadline))
            return err;
        if (kind == proto::FrameKind::Failure) {
            proto::PayloadReader in(payload.constData(), size_t(payload.size()));
            return d->failure(in);
        }
        switch (reply.take(kind, std::string_view(payload.constData(), size_t(payload.size())))) {
        case reply::TableReply::Step::Malformed: return d->malformed();
        case reply::TableReply::Step::Done: return {};
        case reply::TableReply::Step::More: break;
        }
        // Only rows the table declared count as progress: a reader that sends rows beyond
        // them, or trickles them forever, still meets a deadline.
        if (reply.lastRows() > 0 && reply.rowsSeen() <= reply.declaredRows())
            deadline = std::min(d->requestDeadline(), cap);
    }
}

qint64 CatalogFile::storedBytes() const { return d->fileSize; }

QString CatalogFile::readerProgram()
{
    if (!g_readerOverride.isEmpty())
        return g_readerOverride;
#ifdef Q_OS_WIN
    const QString name = QStringLiteral("quorbix-reader.exe");
#else
    const QString name = QStringLiteral("quorbix-reader");
#endif
    return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

void CatalogFile::setReaderProgram(const QString &path) { g_readerOverride = path; }

void CatalogFile::setRequestTime(qint64 baseMs) { d->requestBaseMs = baseMs > 0 ? baseMs : kRequestBaseMs; }

}  // namespace reader_client
