// The Rows frame through its writer and its reader, as the reader process and the program
// use them: rows written across frames come back cell for cell, and a frame cut short or
// inconsistent with its columns is refused.

#include "catalog/reader_client/table_source.h"
#include "jet/protocol.h"
#include "jet/rows_frame.h"

#include <QTest>

#include <cmath>
#include <limits>

namespace proto = jet::protocol;
using jet::CellTag;

namespace {

// Columns of each kind a frame carries; the last one's every cell is Null.
const std::vector<CellTag> kTags{CellTag::Integer, CellTag::Real, CellTag::Text, CellTag::Bytes, CellTag::Null};
const std::vector<bool> kNullable{true, true, true, false, true};

struct Written {
    std::vector<std::string> frames;  // payloads
    QStringList cells;                // "null", or the value written, row by row
};

QString shown(const reader_client::Cell &cell, CellTag tag)
{
    if (cell.isNull)
        return QStringLiteral("null");
    switch (tag) {
    case CellTag::Integer: return QString::number(cell.integer);
    case CellTag::Real: return QString::number(cell.real, 'g', 17);
    default: return QString::fromStdString(std::string(cell.text)).toUtf8().toHex();
    }
}

/// `rows` rows written, a frame cut after every `perFrame`.
Written written(int rows, int perFrame)
{
    Written out;
    proto::RowsWriter writer;
    writer.start(kTags.size());
    const auto frameOf = [&] {
        std::string frame;
        writer.finish(frame);
        if (!frame.empty())
            out.frames.push_back(frame.substr(5));  // the payload, after length and kind
    };
    for (int r = 0; r < rows; ++r) {
        const bool odd = r % 3 == 1;
        if (odd) {
            writer.null();
            out.cells << "null";
        } else {
            const std::int64_t v = r == 0 ? std::numeric_limits<std::int64_t>::min() : r * 1000003ll;
            writer.integer(v);
            out.cells << QString::number(v);
        }
        const double real = r == 2 ? -0.0 : r * 0.1 + 36526.5;
        writer.real(real);
        out.cells << QString::number(real, 'g', 17);
        const std::string text = r == 0 ? std::string() : "Zeile " + std::to_string(r) + " \xc3\xa4";
        if (odd) {
            writer.null();
            out.cells << "null";
        } else {
            writer.text(CellTag::Text, text);
            out.cells << QByteArray::fromStdString(text).toHex();
        }
        const std::string bytes(std::size_t(r % 5), char(r));
        writer.text(CellTag::Bytes, bytes);
        out.cells << QByteArray::fromStdString(bytes).toHex();
        writer.null();
        out.cells << "null";
        writer.endRow();
        if ((r + 1) % perFrame == 0)
            frameOf();
    }
    frameOf();
    return out;
}

jet::RowBatch emptyBatch()
{
    jet::RowBatch batch;
    for (CellTag tag : kTags) {
        jet::RowBatch::Cells cells;
        cells.tag = tag;
        batch.columns.push_back(cells);
    }
    return batch;
}

struct Collected final : reader_client::RowSink {
    void columns(const QVector<jet::Column> &) override {}
    void row(const std::vector<reader_client::Cell> &row) override
    {
        for (std::size_t c = 0; c < row.size(); ++c)
            cells << shown(row[c], kTags[c]);
    }
    QStringList cells;
};

}  // namespace

class TestRowsFrame : public QObject {
    Q_OBJECT
private slots:
    void shouldReadBackWhatWasWritten_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("perFrame");
        QTest::newRow("one row") << 1 << 1;
        QTest::newRow("one frame") << 40 << 100;
        QTest::newRow("frames of seven") << 40 << 7;
    }
    void shouldReadBackWhatWasWritten()
    {
        QFETCH(int, rows);
        QFETCH(int, perFrame);
        const Written w = written(rows, perFrame);
        QCOMPARE(int(w.frames.size()), (rows + perFrame - 1) / perFrame);
        Collected read;
        for (const std::string &payload : w.frames) {
            jet::RowBatch batch = emptyBatch();
            QVERIFY(proto::readRows(payload, batch, kNullable));
            read.rows(batch);
        }
        QCOMPARE(read.cells, w.cells);
    }

    void shouldRefuseACellPastTheRowOrARowShortOfCells()
    {
        proto::RowsWriter writer;
        writer.start(2);
        QVERIFY(writer.integer(1) && writer.null());
        QVERIFY(!writer.text(CellTag::Text, "a third"));
        QVERIFY(writer.endRow());
        QVERIFY(writer.null());
        QVERIFY(!writer.endRow());
    }

    void shouldRefuseAFrameCutOrInconsistent()
    {
        const std::string payload = written(6, 100).frames.front();
        for (std::size_t cut = 0; cut < payload.size(); ++cut) {
            jet::RowBatch batch = emptyBatch();
            QVERIFY2(!proto::readRows(payload.substr(0, cut), batch, kNullable), qPrintable(QString::number(cut)));
        }
        jet::RowBatch batch = emptyBatch();
        QVERIFY(!proto::readRows(payload + '\0', batch, kNullable));  // longer than its cells
        std::vector<bool> strict = kNullable;
        strict[0] = false;  // the Nulls written in the first column no longer fit
        QVERIFY(!proto::readRows(payload, batch, strict));
        for (const std::size_t at : {4, 5}) {  // the first column's cells of rows 0 and 1 (a value, a Null)
            std::string otherTag = payload;
            otherTag[at] = char(CellTag::Real);  // in an Integer column
            QVERIFY(!proto::readRows(otherTag, batch, kNullable));
        }
        QVERIFY(proto::readRows(payload, batch, kNullable));
    }
};

QTEST_GUILESS_MAIN(TestRowsFrame)
#include "test_rows_frame.moc"
