// quorbix-reader-attempts.exe, the reader with the confinement tests' hooks on Windows: once
// confined, it tries the action QUORBIX_READER_ATTEMPT names ("name" or
// "name=argument") and says on stdout what came of it.

#include "reader/serve.h"

#include <cstdlib>
#include <string>

#include <windows.h>

namespace {

std::string &named()
{
    static std::string name;
    return name;
}

void say(const std::string &what)
{
    const std::string line = "attempt " + named() + ": " + what + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), DWORD(line.size()), &written, nullptr);
}

std::wstring wide(const std::string &text)
{
    std::wstring out(std::size_t(MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), out.data(), int(out.size()));
    return out;
}

// 0 when it succeeded, else the Windows error it failed with; -1 for a name no action has.
long tryAction(const std::string &name, const std::string &argument)
{
    SetLastError(0);
    bool done = false;
    if (name == "start-process") {
        wchar_t system[MAX_PATH] = {};
        GetSystemDirectoryW(system, MAX_PATH);
        std::wstring command = L"\"" + std::wstring(system) + L"\\cmd.exe\" /c exit 0";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        done = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                              &startup, &started);
        if (done) {
            WaitForSingleObject(started.hProcess, 10000);
            CloseHandle(started.hThread);
            CloseHandle(started.hProcess);
        }
    } else if (name == "write-file") {
        const HANDLE file = CreateFileW(wide(argument).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        done = file != INVALID_HANDLE_VALUE;
        if (done)
            CloseHandle(file);
    } else if (name == "commit-memory") {
        const SIZE_T bytes = SIZE_T(std::strtoull(argument.c_str(), nullptr, 10));
        void *p = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        done = p != nullptr;
        if (done)
            VirtualFree(p, 0, MEM_RELEASE);
    } else if (name == "executable-memory") {
        void *p = VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE);
        done = p != nullptr;
        if (done)
            VirtualFree(p, 0, MEM_RELEASE);
    } else {
        return -1;
    }
    return done ? 0 : long(GetLastError() ? GetLastError() : ERROR_GEN_FAILURE);
}

void remember()
{
    // The program starts its reader with no environment but this one's folder; the tests add the name.
    if (const char *name = std::getenv("QUORBIX_READER_ATTEMPT"))
        named() = name;
}

void tryNamed(int)
{
    if (named().empty())
        return;
    const std::size_t equals = named().find('=');
    const long result = tryAction(named().substr(0, equals), equals == std::string::npos ? "" : named().substr(equals + 1));
    say(result < 0 ? "unknown" : result == 0 ? "allowed" : "refused, error " + std::to_string(result));
    ExitProcess(0);
}

}  // namespace

int main(int argc, char **argv) { return reader::serve(argc, argv, {remember, tryNamed}); }
