// The program's parse of what the reader sends, fed any bytes: an Opened frame, then one
// table's answer (Columns, Rows..., End), as a reader gone wrong could send them. The table
// goes into the query engine (held in name order when it has a Name column, as the titles
// are) and every value of SELECT * comes out as the windows take it. A refusal is fine; a
// crash or a sanitizer report is a finding.

#include "catalog/engine/query_engine.h"
#include "catalog/reader_client/reply.h"
#include "catalog/engine/result_rows.h"
#include "jet/protocol.h"

#include <QDateTime>
#include <QVariant>

#include <cstdint>
#include <string_view>
#include <vector>

namespace proto = jet::protocol;

namespace {

struct Frame {
    proto::FrameKind kind;
    std::string_view payload;
};

/// The frames of `bytes`, cut as the program cuts the reader's output; a length it would
/// refuse ends them.
std::vector<Frame> framesOf(std::string_view bytes)
{
    std::vector<Frame> frames;
    while (bytes.size() >= 5) {
        proto::PayloadReader head(bytes.data(), 4);
        std::uint32_t length = 0;
        head.u32(length);
        if (length < 1 || length > proto::kMaxFrame || bytes.size() - 4 < length)
            break;
        frames.push_back({static_cast<proto::FrameKind>(static_cast<std::uint8_t>(bytes[4])), bytes.substr(5, length - 1)});
        bytes.remove_prefix(4 + std::size_t(length));
    }
    return frames;
}

class ReplayedSource final : public reader_client::TableSource {
public:
    ReplayedSource(QStringList tables, std::vector<Frame> answer) : m_tables(std::move(tables)), m_answer(std::move(answer)) {}
    QStringList tableNames() const override { return m_tables; }
    ado::Error readTable(const QString &, reader_client::RowSink &sink) override
    {
        const ado::Error malformed{ado::E_PROVIDER_FAIL, QStringLiteral("malformed")};
        reader_client::reply::TableReply reply(sink);
        for (const Frame &frame : m_answer) {
            if (frame.kind == proto::FrameKind::Failure)
                return malformed;
            switch (reply.take(frame.kind, frame.payload)) {
            case reader_client::reply::TableReply::Step::Malformed: return malformed;
            case reader_client::reply::TableReply::Step::Done: return {};
            case reader_client::reply::TableReply::Step::More: break;
            }
        }
        return malformed;  // the reader stopped before End
    }

private:
    QStringList m_tables;
    std::vector<Frame> m_answer;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::vector<Frame> frames = framesOf(std::string_view(reinterpret_cast<const char *>(data), size));
    QStringList tables;
    if (frames.empty() || frames.front().kind != proto::FrameKind::Opened || !reader_client::reply::readOpened(frames.front().payload, tables)
        || tables.isEmpty())
        return 0;
    frames.erase(frames.begin());
    const QString table = tables.front();
    engine::QueryEngine engine(std::make_unique<ReplayedSource>(tables, std::move(frames)));
    engine.indexOnLoad(table, QStringLiteral("Name"));
    QString quoted = table;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    engine::ResultRows rows;
    if (engine.execute(QStringLiteral("SELECT * FROM \"%1\"").arg(quoted), rows))
        return 0;
    std::size_t seen = 0;
    for (int row = 0; row < rows.rowCount(); ++row)
        for (int column = 0; column < rows.columnCount(); ++column) {
            seen += rows.textForm(row, column).size();
            const QVariant value = rows.value(row, column);
            if (value.typeId() == QMetaType::QDateTime)
                seen += value.toDateTime().isValid();
        }
    return seen == std::size_t(-1);
}
