// index-probe FILE TABLE [INDEX]: walks the primary-key index of TABLE (or its index named
// INDEX) with mdbtools' own index code (libmdb's descent through the index pages, its leaf
// walk and its page/row pointers) and prints, for each entry in the order the index gives
// them, the key columns' values of the row the entry points at, one row a line, tab
// between. A test's view of the index through a reader that did not write it.
//
// libmdb's index walk knows the Jet 3 page layout only; the tests ask it no more.

#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>

#include <mdbtools.h>  // after the C++ headers: it includes glib inside extern "C"

int main(int argc, char **argv)
{
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: index-probe FILE TABLE [INDEX]\n");
        return 2;
    }
    MdbHandle *mdb = mdb_open(argv[1], MDB_NOFLAGS);
    MdbTableDef *table = mdb ? mdb_read_table_by_name(mdb, argv[2], MDB_TABLE) : nullptr;
    if (!table || !mdb_read_columns(table)) {
        std::fprintf(stderr, "index-probe: cannot open table '%s'\n", argv[2]);
        return 1;
    }
    mdb_read_indices(table);
    MdbIndex *key = nullptr;
    for (unsigned i = 0; table->indices && i < table->indices->len && !key; ++i) {
        auto *idx = static_cast<MdbIndex *>(g_ptr_array_index(table->indices, i));
        if (argc == 4 ? std::strcmp(idx->name, argv[3]) == 0 : idx->index_type == 1)
            key = idx;
    }
    if (!key || key->num_keys < 1) {
        std::fprintf(stderr, "index-probe: table '%s' has no %s index\n", argv[2], argc == 4 ? argv[3] : "primary-key");
        return 1;
    }
    char values[10][MDB_BIND_SIZE] = {};
    int lengths[10] = {};
    for (int k = 0; k < key->num_keys && k < 10; ++k)
        mdb_bind_column(table, key->key_col_num[k], values[k], &lengths[k]);

    MdbHandle *walk = mdb_clone_handle(mdb);  // index pages on one handle, data pages on the other
    MdbIndexChain chain;
    std::memset(&chain, 0, sizeof chain);
    guint32 pg = 0;
    guint16 row = 0;
    long entries = 0;
    while (mdb_index_find_next(walk, key, &chain, &pg, &row)) {
        if (++entries > 10000000L) {
            std::fprintf(stderr, "index-probe: the walk does not end\n");
            return 1;
        }
        if (mdb_read_pg(mdb, pg) != int(mdb->fmt->pg_size) || !mdb_read_row(table, row)) {
            std::printf("(no row at page %u row %u)\n", unsigned(pg), unsigned(row));
            continue;
        }
        for (int k = 0; k < key->num_keys && k < 10; ++k)
            std::printf(k ? "\t%s" : "%s", values[k]);
        std::printf("\n");
    }
    mdb_close(walk);
    mdb_free_tabledef(table);
    mdb_close(mdb);
    return 0;
}
