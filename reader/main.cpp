// quorbix-reader FILE: reads a Jet 4.0 or ACE catalog for the program, in its own process so that
// a damaged or hostile file can only ever cost this process. Answers on stdout in the
// frames of jet/protocol.h; takes requests on stdin until it closes.

#include "jet/protocol.h"
#include "reader/guarded_file.h"
#include "reader/sandbox.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace proto = jet::protocol;

#ifdef QUORBIX_READER_ATTEMPTS
// The sandbox tests' build only: tries, once confined, an action its environment names.
namespace reader::attempt {
void remember();
void tryNamed(int fileFd);
}  // namespace reader::attempt
#endif

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

/// Packs rows into Rows frames and sends each once it is big enough.
class FrameWriter : public reader::TableWriter {
public:
    void columns(const std::vector<jet::Column> &columns, std::uint32_t declaredRows) override
    {
        std::string out;
        const auto at = proto::beginFrame(out, proto::FrameKind::Columns);
        proto::putColumns(out, columns, declaredRows);
        proto::finishFrame(out, at);
        writeAll(out);
        startRows();
    }
    void nullCell() override { proto::putU8(m_out, std::uint8_t(jet::CellTag::Null)); }
    void integerCell(std::int64_t value) override
    {
        proto::putU8(m_out, std::uint8_t(jet::CellTag::Integer));
        proto::putI64(m_out, value);
    }
    void realCell(double value) override
    {
        proto::putU8(m_out, std::uint8_t(jet::CellTag::Real));
        proto::putF64(m_out, value);
    }
    void textCell(const std::string &utf8) override { stringCell(jet::CellTag::Text, utf8); }
    void bytesCell(const std::string &bytes) override { stringCell(jet::CellTag::Bytes, bytes); }
    void endRow() override
    {
        ++m_rows;
        if (m_out.size() >= proto::kRowsFrameTarget)
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
    void stringCell(jet::CellTag tag, const std::string &value)
    {
        if (value.size() > proto::kMaxFrame / 2)
            throw reader::Refusal(proto::Fault::Damaged, "a value is too large to send");
        proto::putU8(m_out, std::uint8_t(tag));
        proto::putString(m_out, value);
    }
    void startRows()
    {
        m_out.clear();
        m_at = proto::beginFrame(m_out, proto::FrameKind::Rows);
        m_countAt = m_out.size();
        proto::putU32(m_out, 0);
        m_rows = 0;
    }
    void flushRows()
    {
        if (m_rows == 0)
            return;
        for (int i = 0; i < 4; ++i)
            m_out[m_countAt + i] = char((m_rows >> (8 * i)) & 0xff);
        proto::finishFrame(m_out, m_at);
        writeAll(m_out);
        startRows();
    }

    std::string m_out;
    std::size_t m_at = 0;
    std::size_t m_countAt = 0;
    std::uint32_t m_rows = 0;
};

}  // namespace

int main(int argc, char **argv)
{
#ifdef _WIN32
    _setmode(0, _O_BINARY);
    _setmode(1, _O_BINARY);
#endif
    if (argc != 2) {
        std::fprintf(stderr, "usage: quorbix-reader FILE\n");
        return 2;
    }
#ifdef QUORBIX_READER_ATTEMPTS
    reader::attempt::remember();
#endif
#ifdef F_SETPIPE_SZ
    // A large table's rows then cross in fewer, larger reads, with fewer waits on each side.
    // Where the system allows no such pipe, the one it gave serves as well.
    (void)fcntl(1, F_SETPIPE_SZ, 1 << 20);
#endif
    std::unique_ptr<reader::GuardedFile> file;
    try {
        // Confined once the file is open and mapped, before its first byte is parsed.
        file = std::make_unique<reader::GuardedFile>(argv[1], [](int fd) {
            const std::string why = reader::sandbox::enter(fd);
            if (!why.empty())
                throw reader::Refusal(proto::Fault::Unreadable, "the reader cannot confine itself (" + why + ")");
#ifdef QUORBIX_READER_ATTEMPTS
            reader::attempt::tryNamed(fd);
#endif
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
