#include "reader/sandbox.h"

#if defined(__linux__) && defined(QUORBIX_HAVE_SECCOMP)

#include <seccomp.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace reader::sandbox {
namespace {

std::string failed(const char *what, int error) { return std::string(what) + ": " + std::strerror(error); }

/// Closes every descriptor but those in `keep` (sorted).
void closeAllExcept(const std::vector<int> &keep)
{
    unsigned from = 0;
    auto closeRange = [](unsigned first, unsigned last) {
        if (first > last)
            return;
        if (syscall(SYS_close_range, first, last, 0) == 0)
            return;
        // Kernels before close_range: one by one, up to the open-files limit.
        struct rlimit files {};
        getrlimit(RLIMIT_NOFILE, &files);
        const unsigned end = std::min<rlim_t>(last, files.rlim_cur == RLIM_INFINITY ? 65536 : files.rlim_cur);
        for (unsigned fd = first; fd <= end; ++fd)
            ::close(int(fd));
    };
    for (int fd : keep) {
        if (fd > 0)
            closeRange(from, unsigned(fd) - 1);
        from = unsigned(fd) + 1;
    }
    closeRange(from, ~0u);
}

int allow(scmp_filter_ctx ctx, int call) { return seccomp_rule_add(ctx, SCMP_ACT_ALLOW, call, 0); }

int allowOn(scmp_filter_ctx ctx, int call, int fd)
{
    return seccomp_rule_add(ctx, SCMP_ACT_ALLOW, call, 1, SCMP_A0(SCMP_CMP_EQ, scmp_datum_t(fd)));
}

int allowWithoutExec(scmp_filter_ctx ctx, int call)
{
    return seccomp_rule_add(ctx, SCMP_ACT_ALLOW, call, 1, SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0));
}

}  // namespace

std::string enter(int fileFd)
{
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return failed("no-new-privileges", errno);

    std::vector<int> keep{0, 1};
#ifdef QUORBIX_SANITIZED
    // A sanitizer's report goes to stderr, which the program points at a file a test reads.
    keep.push_back(2);
#endif
    if (fileFd > keep.back())
        keep.push_back(fileFd);
    closeAllExcept(keep);
    clearenv();

    const rlim_t files = rlim_t(keep.back()) + 1;
    const struct rlimit fileLimit = {files, files}, none = {0, 0};
    if (setrlimit(RLIMIT_NOFILE, &fileLimit) != 0 || setrlimit(RLIMIT_NPROC, &none) != 0 ||
        setrlimit(RLIMIT_FSIZE, &none) != 0)
        return failed("limits", errno);

    scmp_filter_ctx ctx = seccomp_init(SCMP_ACT_KILL_PROCESS);
    if (!ctx)
        return "the system-call filter cannot be set up";
    int rc = 0;
    // Requests in, replies out; the file's bytes are read through its mapping.
    rc |= allowOn(ctx, SCMP_SYS(read), 0);
    rc |= allowOn(ctx, SCMP_SYS(write), 1);
#ifdef QUORBIX_SANITIZED
    rc |= allowOn(ctx, SCMP_SYS(write), 2);
#else
    // The library's complaints go to stderr, which is closed: they fail quietly.
    rc |= seccomp_rule_add(ctx, SCMP_ACT_ERRNO(EBADF), SCMP_SYS(write), 1, SCMP_A0(SCMP_CMP_EQ, 2));
#endif
    // The heap: never memory that could run code.
    rc |= allow(ctx, SCMP_SYS(brk));
    rc |= allowWithoutExec(ctx, SCMP_SYS(mmap));
    rc |= allowWithoutExec(ctx, SCMP_SYS(mprotect));
    rc |= allow(ctx, SCMP_SYS(munmap));
    rc |= allow(ctx, SCMP_SYS(mremap));
    rc |= allow(ctx, SCMP_SYS(madvise));
    // The C library's once-only set-ups (taken on first use) wake waiters there are none of.
    rc |= allow(ctx, SCMP_SYS(futex));
    // Time, for the C library's clock when the fast path is not there.
    rc |= allow(ctx, SCMP_SYS(clock_gettime));
    rc |= allow(ctx, SCMP_SYS(gettimeofday));
    // Ending: the file is unmapped and closed, then the process exits.
    rc |= allow(ctx, SCMP_SYS(close));
    rc |= allow(ctx, SCMP_SYS(exit));
    rc |= allow(ctx, SCMP_SYS(exit_group));
    rc |= allow(ctx, SCMP_SYS(rt_sigreturn));
#ifdef QUORBIX_SANITIZED
    // AddressSanitizer asks which stack it is on whenever an exception is thrown.
    rc |= allow(ctx, SCMP_SYS(sigaltstack));
#endif
    if (rc != 0) {
        seccomp_release(ctx);
        return "the system-call filter cannot be set up";
    }
    rc = seccomp_load(ctx);
    seccomp_release(ctx);
    if (rc != 0)
        return failed("the system-call filter", -rc);
    return {};
}

}  // namespace reader::sandbox

#elif defined(_WIN32)

#include <windows.h>

namespace reader::sandbox {

// The program has started the reader in a job (no process of its own, memory and time
// capped, ended with the program) with no handle but its pipes. What a process may still
// take from itself: the lowest integrity level, so that it can write to nothing a user's
// programs write to, no privilege, and no memory it can make runnable.
std::string enter(int)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_DEFAULT | TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return "OpenProcessToken: Windows error " + std::to_string(GetLastError());
    std::string why;
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof sid;
    TOKEN_MANDATORY_LABEL label{};
    label.Label.Attributes = SE_GROUP_INTEGRITY;
    label.Label.Sid = sid;
    if (!CreateWellKnownSid(WinLowLabelSid, nullptr, sid, &sidSize)
        || !SetTokenInformation(token, TokenIntegrityLevel, &label, DWORD(sizeof label + sidSize)))
        why = "the low integrity level: Windows error " + std::to_string(GetLastError());
    else if (!AdjustTokenPrivileges(token, TRUE, nullptr, 0, nullptr, nullptr))
        why = "dropping privileges: Windows error " + std::to_string(GetLastError());
    CloseHandle(token);
    if (!why.empty())
        return why;
    PROCESS_MITIGATION_DYNAMIC_CODE_POLICY code{};
    code.ProhibitDynamicCode = 1;
    // Windows 8.1 and later; before, the job and the integrity level are what there is.
    using SetPolicy = BOOL(WINAPI *)(PROCESS_MITIGATION_POLICY, PVOID, SIZE_T);
    if (auto set = reinterpret_cast<SetPolicy>(
            reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetProcessMitigationPolicy"))))
        if (!set(ProcessDynamicCodePolicy, &code, sizeof code))
            return "the dynamic-code policy: Windows error " + std::to_string(GetLastError());
    return {};
}

}  // namespace reader::sandbox

#endif
