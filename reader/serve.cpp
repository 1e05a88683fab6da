// The reader process's work: open, confine, answer table requests until stdin closes.

#include "reader/serve.h"

#include "jet/protocol.h"
#include "jet/rows_frame.h"
#include "reader/guarded_file.h"
#include "reader/sandbox.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>
#else
#include <unistd.h>
#endif

namespace proto = jet::protocol;


#ifdef QUORBIX_SANITIZED
// The leak check at exit stops the process with ptrace, which the sandbox forbids.
extern "C" const char *__asan_default_options() { return "detect_leaks=0"; }
#endif

namespace {

void writeAll(const std::string &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
#ifdef _WIN32
        const int n = _write(1, bytes.data() + done, unsigned(bytes.size() - done));
#else
        const ssize_t n = ::write(1, bytes.data() + done, bytes.size() - done);
#endif
        if (n <= 0)
            std::exit(2);  // the client has gone: nothing left to do
        done += std::size_t(n);
    }
}

bool readAll(char *buf, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
#ifdef _WIN32
        const int n = _read(0, buf + done, unsigned(size - done));
#else
        const ssize_t n = ::read(0, buf + done, size - done);
#endif
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    return true;
}

void sendFailure(proto::Fault fault, const std::string &detail)
{
    std::string out;
    const auto at = proto::beginFrame(out, proto::FrameKind::Failure);
    proto::putU8(out, static_cast<std::uint8_t>(fault));
    proto::putString(out, detail);
    proto::finishFrame(out, at);
    writeAll(out);
}

/// Sends a table as Columns, Rows frames once each is big enough, and End.
class FrameWriter : public reader::TableWriter {
public:
    void columns(const std::vector<jet::Column> &columns, std::uint32_t declaredRows) override
    {
        std::string out;
        const auto at = proto::beginFrame(out, proto::FrameKind::Columns);
        proto::putColumns(out, columns, declaredRows);
        proto::finishFrame(out, at);
        writeAll(out);
        m_rows.start(columns.size());
    }
    void nullCell() override { check(m_rows.null()); }
    void integerCell(std::int64_t value) override { check(m_rows.integer(value)); }
    void realCell(double value) override { check(m_rows.real(value)); }
    void textCell(const std::string &utf8) override { stringCell(jet::CellTag::Text, utf8); }
    void bytesCell(const std::string &bytes) override { stringCell(jet::CellTag::Bytes, bytes); }
    void endRow() override
    {
        check(m_rows.endRow());
        if (m_rows.bytes() >= proto::kRowsFrameTarget)
            flushRows();
    }
    void finish(std::uint32_t total)
    {
        flushRows();
        std::string out;
        const auto at = proto::beginFrame(out, proto::FrameKind::End);
        proto::putU32(out, total);
        proto::finishFrame(out, at);
        writeAll(out);
    }

private:
    static void check(bool fits)
    {
        if (!fits)
            throw reader::Refusal(proto::Fault::Damaged, "a row does not match the table's columns");
    }
    void stringCell(jet::CellTag tag, const std::string &value)
    {
        if (value.size() > proto::kMaxFrame / 2)
            throw reader::Refusal(proto::Fault::Damaged, "a value is too large to send");
        check(m_rows.text(tag, value));
    }
    void flushRows()
    {
        m_out.clear();
        m_rows.finish(m_out);
        if (!m_out.empty())
            writeAll(m_out);
    }

    proto::RowsWriter m_rows;
    std::string m_out;
};

}  // namespace

int reader::serve(int argc, char **argv, const Hooks &hooks)
{
#ifdef _WIN32
    _setmode(0, _O_BINARY);
    _setmode(1, _O_BINARY);
#endif
    if (argc != 2) {
        std::fprintf(stderr, "usage: quorbix-reader FILE\n");
        return 2;
    }
    std::string path = argv[1];
#ifdef _WIN32
    // The name as Windows holds it: the code page of argv cannot spell every name.
    int count = 0;
    if (wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        if (count == 2) {
            path.assign(std::size_t(WideCharToMultiByte(CP_UTF8, 0, wide[1], -1, nullptr, 0, nullptr, nullptr)), '\0');
            WideCharToMultiByte(CP_UTF8, 0, wide[1], -1, path.data(), int(path.size()), nullptr, nullptr);
            path.resize(std::strlen(path.c_str()));
        }
        LocalFree(wide);
    }
#endif
    if (hooks.started)
        hooks.started();
    std::unique_ptr<reader::GuardedFile> file;
    try {
        // Confined once the file is open and mapped, before its first byte is parsed.
        file = std::make_unique<reader::GuardedFile>(path, [&hooks](int fd) {
            const std::string why = reader::sandbox::enter(fd);
            if (!why.empty())
                throw reader::Refusal(proto::Fault::Unreadable, "the reader cannot confine itself (" + why + ")");
            if (hooks.confined)
                hooks.confined(fd);
        });
    } catch (const reader::Refusal &r) {
        sendFailure(r.fault, r.what());
        return 1;
    } catch (const std::exception &e) {
        sendFailure(proto::Fault::Unreadable, e.what());
        return 1;
    }
    {
        std::string out;
        const auto at = proto::beginFrame(out, proto::FrameKind::Opened);
        proto::putU32(out, std::uint32_t(file->userTables().size()));
        for (const auto &name : file->userTables())
            proto::putString(out, name);
        proto::finishFrame(out, at);
        writeAll(out);
    }

    std::string request;
    while (true) {
        char head[5];
        if (!readAll(head, sizeof head))
            return 0;
        proto::PayloadReader lenReader(head, 4);
        std::uint32_t len = 0;
        lenReader.u32(len);
        const auto kind = static_cast<proto::FrameKind>(static_cast<std::uint8_t>(head[4]));
        if (len < 1 || len > proto::kMaxFrame) {
            sendFailure(proto::Fault::Protocol, "malformed request");
            return 1;
        }
        request.resize(len - 1);
        if (!readAll(request.data(), request.size()))
            return 0;
        proto::PayloadReader payload(request.data(), request.size());
        std::string_view name;
        if (kind != proto::FrameKind::ReadTable || !payload.string(name) || !payload.atEnd()) {
            sendFailure(proto::Fault::Protocol, "malformed request");
            continue;
        }
        FrameWriter writer;
        try {
            const std::uint32_t rows = file->readTable(std::string(name), writer);
            writer.finish(rows);
        } catch (const reader::Refusal &r) {
            sendFailure(r.fault, r.what());
        } catch (const std::exception &e) {
            sendFailure(proto::Fault::Damaged, e.what());
        }
    }
}
