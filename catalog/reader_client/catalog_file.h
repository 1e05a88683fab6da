#pragma once

#include "catalog/reader_client/table_source.h"

#include <memory>

/// A Jet 3, Jet 4.0 or ACE (.accdb) file read through the reader process: the file is parsed by a separate
/// executable (`quorbix-reader`, installed beside the program) under memory and time
/// limits, and typed rows come back over a pipe. A damaged or hostile file can make the
/// reader fail, die or overrun; the caller only ever sees an error.
namespace reader_client {

class CatalogFile : public TableSource {
public:
    CatalogFile();
    ~CatalogFile() override;
    CatalogFile(const CatalogFile &) = delete;
    CatalogFile &operator=(const CatalogFile &) = delete;

    /// Opens `path`: checks that it is a readable Jet 3, Jet 4.0 or ACE database and reads its catalog.
    /// Errors: a missing file gives E_PROVIDER_FAIL with "Could not find file '<path>'.";
    /// a file that is no such database, in a format not read, encrypted or protected by a
    /// password, or whose catalog is damaged, gives E_PROVIDER_FAIL with a description that
    /// names the file and says which.
    ado::Error open(const QString &path);
    bool isOpen() const;
    void close();

    QStringList tableNames() const override;
    ado::Error readTable(const QString &name, RowSink &sink) override;
    qint64 storedBytes() const override;

    /// Where the reader process is found: by default `quorbix-reader` beside the running
    /// executable.
    static QString readerProgram();
    static void setReaderProgram(const QString &path);
    /// The time this file's requests are given before its size is added (0: the usual 15 s),
    /// so that tests of slow readers need not wait that long.
    void setRequestTime(qint64 baseMs);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace reader_client
