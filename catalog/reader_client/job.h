#pragma once

#include <QtGlobal>

#include <memory>

class QProcess;

namespace reader_client {

/// What Windows lets a program do to confine a process it starts (the reader confines
/// itself further once its file is open): a job that ends the reader when this program lets
/// go of it or ends, lets it start no process, caps its memory and processor time and keeps
/// it off the clipboard and the desktop's settings; and no inherited handle but its
/// standard ones. Other systems limit the reader as it starts instead.
class ReaderJob {
public:
    ReaderJob(qint64 memoryBytes, qint64 cpuSeconds);
    ~ReaderJob();  ///< ends the reader, if it still runs
    ReaderJob(const ReaderJob &) = delete;
    ReaderJob &operator=(const ReaderJob &) = delete;

    /// Before `process` starts: it is created inside the job, inheriting only its standard
    /// handles. "" when prepared, else why not.
    QString prepare(QProcess &process);
    /// Once it has started: in the job, even where the system would not create it there.
    /// "" when it is, else why not.
    QString adopt(const QProcess &process);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace reader_client
