// quorbix-reader-attempts, the reader with the sandbox tests' hooks: once the reader has
// confined itself, it tries the one action its environment names and says on
// stdout what came of it. An action the filter forbids ends the process before it can say.

#include "reader/serve.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <csignal>
#include <sys/mman.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

std::string &named()
{
    static std::string name;
    return name;
}

// The process that started the reader, known before confinement forbids asking.
pid_t &parent()
{
    static pid_t pid = 0;
    return pid;
}

void say(const std::string &what)
{
    const std::string line = "attempt " + named() + ": " + what + "\n";
    (void)!::write(1, line.data(), line.size());
}

// 0 when it succeeded, else the errno it failed with; -1 for a name no action has.
int tryAction(const std::string &name, int fileFd)
{
    constexpr std::size_t kPage = 4096;
    errno = 0;
    long rc = 0;
    if (name == "map-executable") {
        rc = mmap(nullptr, kPage, PROT_READ | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) == MAP_FAILED ? -1 : 0;
    } else if (name == "map-file-executable") {
        rc = mmap(nullptr, kPage, PROT_READ | PROT_EXEC, MAP_PRIVATE, fileFd, 0) == MAP_FAILED ? -1 : 0;
    } else if (name == "map-writable") {
        void *p = mmap(nullptr, kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        rc = p == MAP_FAILED ? -1 : munmap(p, kPage);
    } else if (name == "protect-executable" || name == "protect-key-executable") {
        void *p = mmap(nullptr, kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            return errno;
        rc = name == "protect-executable" ? mprotect(p, kPage, PROT_READ | PROT_EXEC)
                                          : syscall(SYS_pkey_mprotect, p, kPage, PROT_READ | PROT_EXEC, -1);
    } else if (name == "protect-read-only") {
        void *p = mmap(nullptr, kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        rc = p == MAP_FAILED ? -1 : mprotect(p, kPage, PROT_READ);
    } else if (name == "map-file") {
        rc = mmap(nullptr, kPage, PROT_READ, MAP_PRIVATE, fileFd, 0) == MAP_FAILED ? -1 : 0;
    } else if (name == "write-file" || name == "write-ungiven" || name == "write-stderr") {
        rc = ::write(name == "write-file" ? fileFd : name == "write-ungiven" ? fileFd + 1 : 2, "x", 1);
    } else if (name == "read-requests") {
        char none;
        rc = ::read(0, &none, 0);
    } else if (name == "ptrace-parent") {
        rc = ptrace(PTRACE_ATTACH, parent(), nullptr, nullptr);
    } else if (name == "signal-parent") {
        rc = ::kill(parent(), 0);
    } else if (name == "open-file") {
        rc = ::open("/etc/passwd", O_RDONLY);
    } else if (name == "socket") {
        rc = socket(AF_UNIX, SOCK_STREAM, 0);
    } else if (name == "fork") {
        rc = fork();
        if (rc == 0)
            _exit(0);
    } else if (name == "exec") {
        rc = execl("/bin/true", "true", static_cast<char *>(nullptr));
    } else if (name == "exec-missing") {
        // Where exec is let through this fails with ENOENT; /bin/true, let through, would
        // die by the filter it inherits and look refused.
        rc = execl("/nonexistent/program", "program", static_cast<char *>(nullptr));
    } else if (name == "raise-open-files-limit" || name == "raise-file-size-limit") {
        const int resource = name == "raise-open-files-limit" ? RLIMIT_NOFILE : RLIMIT_FSIZE;
        struct rlimit limit {};
        if (getrlimit(resource, &limit) != 0)
            return errno;
        limit.rlim_cur = limit.rlim_max = limit.rlim_max + 64;
        rc = setrlimit(resource, &limit);
    } else {
        return -1;
    }
    return rc < 0 ? (errno ? errno : EINVAL) : 0;
}

void remember()
{
    // Read before confinement empties the environment.
    if (const char *name = std::getenv("QUORBIX_READER_ATTEMPT"))
        named() = name;
    parent() = getppid();
}

void tryNamed(int fileFd)
{
    if (named().empty())
        return;
    const int result = tryAction(named(), fileFd);
    // The number, not its text: strerror might load a message catalog.
    say(result < 0 ? "unknown" : result == 0 ? "allowed" : "refused, errno " + std::to_string(result));
    _exit(0);
}

}  // namespace

int main(int argc, char **argv) { return reader::serve(argc, argv, {remember, tryNamed}); }
