#pragma once

#include "catalog/reader_client/table_source.h"
#include "jet/protocol.h"

#include <QStringList>

#include <cstdint>
#include <string_view>
#include <vector>

/// What the program makes of the reader's frames, apart from the process that sends them:
/// every check of a frame's shape and values, so that the parse can be fed any bytes. A
/// reader that has gone wrong is no more trusted than the file it reads.
namespace reader_client::reply {

/// The user tables of an Opened frame's payload; false when it is malformed.
bool readOpened(std::string_view payload, QStringList &tables);

/// One table's answer, frame by frame: Columns, then Rows frames, then End. A Failure frame
/// is the caller's to read.
class TableReply {
public:
    enum class Step { More, Done, Malformed };
    explicit TableReply(RowSink &sink) : m_sink(sink) {}

    Step take(jet::protocol::FrameKind kind, std::string_view payload);

    /// The rows of the last Rows frame, of all so far, and those the table declares.
    std::uint32_t lastRows() const { return m_lastRows; }
    std::uint64_t rowsSeen() const { return m_rowsSeen; }
    std::uint32_t declaredRows() const { return m_declaredRows; }

private:
    Step columns(std::string_view payload);
    Step rows(std::string_view payload);

    RowSink &m_sink;
    QVector<jet::Column> m_columns;
    jet::RowBatch m_batch;                 // each column's one value tag and date rule, worked out once
    std::vector<bool> m_nullable;     // whether a Null fits each column
    bool m_started = false;
    std::uint32_t m_declaredRows = 0;
    std::uint32_t m_lastRows = 0;
    std::uint64_t m_rowsSeen = 0;
};

}  // namespace reader_client::reply
