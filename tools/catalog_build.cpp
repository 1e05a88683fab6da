// catalog-build [--format jet4|jet3|ace16] SOURCE OUT.mdb: writes a Jet 4.0 (or Jet 3, or ACE 16) catalog from a SQLite database or from a
// table script. On any fault it prints what and where, exits 1 and leaves no OUT.mdb.

#include "tools/builder/jet_writer.h"
#include "tools/builder/script_source.h"
#include "tools/builder/sqlite_source.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

std::unique_ptr<build::CatalogSource> openSource(const std::string &path)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        throw build::BuildError("cannot open '" + path + "': no such file");
    if (build::SqliteSource::looksLikeSqlite(path))
        return std::make_unique<build::SqliteSource>(path);
    if (build::ScriptSource::looksLikeScript(path))
        return std::make_unique<build::ScriptSource>(path);
    throw build::BuildError("'" + path + "' is neither a SQLite database nor a table script");
}

}  // namespace

int main(int argc, char **argv)
{
#ifdef _WIN32
    // Its messages are the same bytes on every system, as catalog-dump's are.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    const jet::layout::Format *format = jet::layout::writtenFormat("jet4");
    int first = 1;
    if (argc == 5 && std::string(argv[1]) == "--format") {
        format = jet::layout::writtenFormat(argv[2]);
        first = 3;
    }
    if (argc - first != 2 || !format) {
        std::fprintf(stderr, "usage: catalog-build [--format jet4|jet3|ace16] SOURCE OUT.mdb\n"
                             "  SOURCE: a SQLite database, or a table script (TABLE/COLUMN/PRIMARYKEY/ROW)\n"
                             "  Jet 4.0 unless --format jet3 (Access 97, text in the Western code page)\n"
                             "  or ace16 (an .accdb of Access 2016 and later: calculated columns, Large Number,\n"
                             "  Date/Time Extended)\n");
        return kExitUsage;
    }
    try {
        auto source = openSource(argv[first]);
        for (const std::string &warning : build::writeJetFile(*source, argv[first + 1], *format))
            std::fprintf(stderr, "catalog-build: warning: %s\n", warning.c_str());
    } catch (const build::BuildError &e) {
        std::fprintf(stderr, "catalog-build: %s\n", e.what());
        return kExitFailure;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "catalog-build: %s\n", e.what());
        return kExitFailure;
    }
    return 0;
}
