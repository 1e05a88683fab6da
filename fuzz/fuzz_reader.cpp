// Feeds the reader's parse path arbitrary files: open, then every user table in full.
// Any refusal is fine; a crash, a hang, a leak or a sanitizer report is a finding.

#include "reader/guarded_file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

class DiscardingWriter : public reader::TableWriter {
public:
    void columns(const std::vector<jet::Column> &, std::uint32_t) override {}
    void nullCell() override {}
    void integerCell(std::int64_t) override {}
    void realCell(double) override {}
    void textCell(const std::string &) override {}
    void bytesCell(const std::string &) override {}
    void endRow() override {}
};

const std::string &inputPath()
{
    static const std::string path = [] {
        const char *dir = std::getenv("TMPDIR");
        return std::string(dir && *dir ? dir : "/tmp") + "/quorbix-fuzz-reader-" + std::to_string(getpid()) + ".mdb";
    }();
    return path;
}

// The input file goes with the run, not left in the temporary folder.
void removeInput()
{
    std::remove(inputPath().c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The reader works on a file it maps, so the input becomes one.
    static const std::string &path = inputPath();
    static const bool removedAtExit = std::atexit(removeInput) == 0;
    (void)removedAtExit;
    FILE *out = std::fopen(path.c_str(), "wb");
    if (!out)
        return 0;
    if (size > 0)
        std::fwrite(data, 1, size, out);
    std::fclose(out);
    try {
        reader::GuardedFile file(path);
        DiscardingWriter writer;
        for (const std::string &table : file.userTables()) {
            try {
                file.readTable(table, writer);
            } catch (const reader::Refusal &) {
            }
        }
    } catch (const reader::Refusal &) {
    }
    return 0;
}
