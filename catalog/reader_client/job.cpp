#include "catalog/reader_client/job.h"

#ifdef Q_OS_WIN

#include <QProcess>

#include <algorithm>
#include <vector>

#include <windows.h>

namespace reader_client {
namespace {

QString failed(const char *what) { return QStringLiteral("%1 failed (Windows error %2)").arg(QLatin1String(what)).arg(GetLastError()); }

}  // namespace

struct ReaderJob::Impl {
    HANDLE job = nullptr;
    QString why;  ///< why the job could not be made, if it could not
    // Read by CreateProcess after the argument modifier has returned: they live here.
    std::vector<char> attributes;
    STARTUPINFOEXW startup{};
    HANDLE inherited[3] = {};

    ~Impl()
    {
        if (startup.lpAttributeList)
            DeleteProcThreadAttributeList(startup.lpAttributeList);
        if (job)
            CloseHandle(job);
    }

    /// The attribute list for CreateProcess: the handles it may inherit, the job it starts in.
    bool makeAttributes(const STARTUPINFOW &from)
    {
        DWORD count = 0;
        for (HANDLE h : {from.hStdInput, from.hStdOutput, from.hStdError}) {
            if (h && h != INVALID_HANDLE_VALUE && std::find(inherited, inherited + count, h) == inherited + count)
                inherited[count++] = h;
        }
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 2, 0, &size);
        attributes.assign(size, 0);
        auto *list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
        if (!InitializeProcThreadAttributeList(list, 2, 0, &size))
            return false;
        startup.lpAttributeList = list;
        if (!UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited, count * sizeof(HANDLE), nullptr, nullptr))
            return false;
        // Windows 10 and later create it inside the job, before it runs a single instruction;
        // where this is refused, adopt() puts it there as soon as it has started.
        UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_JOB_LIST, &job, sizeof(HANDLE), nullptr, nullptr);
        startup.StartupInfo = from;
        startup.StartupInfo.cb = sizeof startup;
        return true;
    }
};

ReaderJob::ReaderJob(qint64 memoryBytes, qint64 cpuSeconds) : d(std::make_unique<Impl>())
{
    d->job = CreateJobObjectW(nullptr, nullptr);
    if (!d->job) {
        d->why = failed("CreateJobObject");
        return;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_ACTIVE_PROCESS
                                              | JOB_OBJECT_LIMIT_PROCESS_MEMORY | JOB_OBJECT_LIMIT_PROCESS_TIME
                                              | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    limits.BasicLimitInformation.ActiveProcessLimit = 1;
    limits.BasicLimitInformation.PerProcessUserTimeLimit.QuadPart = cpuSeconds * 10'000'000;  // in 100 ns
    limits.ProcessMemoryLimit = SIZE_T(memoryBytes);
    if (!SetInformationJobObject(d->job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        d->why = failed("SetInformationJobObject");
        return;
    }
    JOBOBJECT_BASIC_UI_RESTRICTIONS ui{};
    ui.UIRestrictionsClass = JOB_OBJECT_UILIMIT_DESKTOP | JOB_OBJECT_UILIMIT_DISPLAYSETTINGS | JOB_OBJECT_UILIMIT_EXITWINDOWS
                             | JOB_OBJECT_UILIMIT_GLOBALATOMS | JOB_OBJECT_UILIMIT_HANDLES | JOB_OBJECT_UILIMIT_READCLIPBOARD
                             | JOB_OBJECT_UILIMIT_SYSTEMPARAMETERS | JOB_OBJECT_UILIMIT_WRITECLIPBOARD;
    SetInformationJobObject(d->job, JobObjectBasicUIRestrictions, &ui, sizeof ui);  // what Windows has of these
}

ReaderJob::~ReaderJob() = default;

QString ReaderJob::prepare(QProcess &process)
{
    if (!d->why.isEmpty())
        return d->why;
    Impl *impl = d.get();
    process.setCreateProcessArgumentsModifier([impl](QProcess::CreateProcessArguments *arguments) {
        // A console program started from a window opens no console of its own.
        arguments->flags |= CREATE_NO_WINDOW;
        if (impl->makeAttributes(*arguments->startupInfo)) {
            arguments->startupInfo = &impl->startup.StartupInfo;
            arguments->flags |= EXTENDED_STARTUPINFO_PRESENT;
        } else {
            impl->why = failed("the reader's start-up attributes");
        }
    });
    return {};
}

QString ReaderJob::adopt(const QProcess &process)
{
    if (!d->why.isEmpty())
        return d->why;
    HANDLE reader = OpenProcess(PROCESS_SET_QUOTA | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE,
                                DWORD(process.processId()));
    if (!reader)
        return failed("OpenProcess");
    BOOL inside = FALSE;
    QString why;
    if (!IsProcessInJob(reader, d->job, &inside))
        why = failed("IsProcessInJob");
    else if (!inside && !AssignProcessToJobObject(d->job, reader))
        why = failed("AssignProcessToJobObject");
    CloseHandle(reader);
    return why;
}

}  // namespace reader_client

#endif
