#include "tools/builder/jet_writer.h"

#include "tools/builder/writer.h"

#include <algorithm>
#include <cstring>

namespace build {
namespace writer {

Writer::Writer(CatalogSource &source, const std::string &path, const jet::layout::Format &format,
               std::vector<std::string> &warnings)
    : m_source(source), m_format(format), m_l(*format.layout), m_file(path, m_l), m_data(m_l), m_longValues(m_l),
      m_system(systemCatalogFor(format)), m_il(index::indexLayoutFor(m_l)), m_warnings(warnings)
{
}

void Writer::run()
{
    const std::vector<TableDef> &tables = m_source.tables();
    for (const TableDef &t : tables)
        checkTable(t, m_format);
    checkDistinctNames(tables);
    const bool namesIndexed = checkCatalogNames(tables);

    m_systemDefs = systemTables();
    m_plans.reserve(m_systemDefs.size() + tables.size());
    for (std::size_t i = 0; i < m_systemDefs.size(); ++i)
        m_plans.push_back(plan(m_systemDefs[i], i == 0 || m_system.tables[i - 1].systemDefinition));
    for (const TableDef &t : tables)
        m_plans.push_back(plan(t, false));
    // The catalog's primary key is named after its column, Id, and its index on
    // (ParentId, Name) comes first, as in Access's own files.
    TablePlan &catalog = m_plans.front();
    catalog.catalog = true;
    catalog.keyName = kCatalogIdIndex;
    std::vector<unsigned> parentAndName;
    for (const char *name : {"ParentId", "Name"})
        for (std::size_t i = 0; i < catalog.def->columns.size(); ++i)
            if (catalog.def->columns[i].name == name)
                parentAndName.push_back(unsigned(i));
    if (namesIndexed)
        catalog.namedIndexes.push_back({parentAndName, kCatalogNameIndex, index::KeyEntries(0), {}, 0});

    m_file.allocate();  // the header page
    m_mapRowPage = m_file.allocate();
    for (TablePlan &p : m_plans) {
        p.tdefPages = std::uint32_t(pagesFor(tableDefinition(p).size()));
        p.tdefPage = m_file.allocate(p.tdefPages);
    }
    if (m_plans.front().tdefPage != kCatalogTableDefPage)
        throw BuildError("internal: the catalog's definition is not on page 2");

    writeCatalogRows();
    for (std::size_t i = 1; i < m_systemDefs.size(); ++i)
        endTable(m_plans[i]);  // empty
    for (std::size_t i = 0; i < tables.size(); ++i) {
        TablePlan &p = m_plans[m_systemDefs.size() + i];
        m_source.forEachRow(i, [&](const std::vector<Value> &row) { writeRow(p, row); });
        endTable(p);
    }
    writeMaps();
    for (const TablePlan &p : m_plans)
        writeTableDefinition(p);
    writeHeader();
    m_file.commit();
}

void Writer::writeMaps()
{
    const std::size_t rowSize = 5 + m_l.mapBitmapBytes;
    const std::uint32_t inlinePages = m_l.mapBitmapBytes * 8;
    const std::uint32_t pagesPerMapPage = (m_l.pageSize - m_l.mapPageHeader) * 8;
    DataPage rows(m_l);
    const std::uint8_t noOwner[4] = {0, 0, 0, 0};
    rows.start(noOwner, m_mapRowPage);
    auto place = [&](const Bytes &row) {
        if (!rows.fits(row.size())) {
            m_file.write(rows.number(), rows.finish());
            rows.start(noOwner, m_file.allocate());
        }
        return pageRow(rows.number(), rows.add(row.data(), row.size()));
    };
    Bytes bitmapPage(m_l.pageSize);
    const auto mapOf = [&](const std::vector<std::uint32_t> &pages, const std::string &table) {
        Bytes row(rowSize, 0);
        if (pages.empty() || pages.back() - pages.front() < inlinePages) {
            const std::uint32_t first = pages.empty() ? 0 : pages.front();
            put32(&row[1], first);
            for (std::uint32_t pg : pages)
                row[5 + (pg - first) / 8] |= std::uint8_t(1u << ((pg - first) % 8));
            return row;
        }
        row[0] = 1;
        const std::size_t mapSlots = m_l.mapBitmapBytes / 4 + 1;
        if (pages.back() >= mapSlots * pagesPerMapPage)
            throw BuildError("table '" + table + "' reaches past what a usage map can hold");
        for (std::size_t slot = 0; slot < mapSlots; ++slot) {
            const std::uint32_t low = std::uint32_t(slot) * pagesPerMapPage;
            auto from = std::lower_bound(pages.begin(), pages.end(), low);
            auto to = std::lower_bound(from, pages.end(), low + pagesPerMapPage);
            if (from == to)
                continue;
            std::fill(bitmapPage.begin(), bitmapPage.end(), 0);
            bitmapPage[0] = PageKind::UsageMap;
            bitmapPage[1] = 1;
            for (auto it = from; it != to; ++it) {
                const std::uint32_t bit = *it - low;
                bitmapPage[m_l.mapPageHeader + bit / 8] |= std::uint8_t(1u << (bit % 8));
            }
            const std::uint32_t mapPage = m_file.allocate();
            m_file.write(mapPage, bitmapPage.data());
            put32(&row[1 + 4 * slot], mapPage);
        }
        return row;
    };
    for (TablePlan &p : m_plans) {
        p.usageMapRow = place(mapOf(p.dataPages, p.def->name));
        Bytes none(rowSize, 0);  // no page is offered for inserts: Jet takes fresh pages
        p.freeMapRow = place(none);
        if (p.indexed)
            p.indexMapRow = place(mapOf(p.indexTree.pages, p.def->name));
        for (NamedIndex &n : p.namedIndexes)
            n.mapRow = place(mapOf(n.tree.pages, p.def->name));
    }
    m_file.write(rows.number(), rows.finish());
}

void Writer::writeHeader()
{
    Bytes page(m_l.pageSize, 0);
    page[0] = PageKind::Header;
    page[1] = 1;
    std::memcpy(&page[kMagicOffset], m_format.magic, kMagicSize);
    page[kVersionOffset] = m_format.version;
    put16(&page[m_l.headerCodePage], kCodePageWestern);
    put32(&page[m_l.headerDatabaseKey], 0);  // pages are not encoded
    put16(&page[m_l.headerSortOrder], kSortGeneral);
    // The password and the creation date stay zero: no password, and a date that
    // keeps the file the same from build to build.
    maskHeader(page.data(), m_l);
    m_file.write(0, page.data());
}

}  // namespace writer

std::vector<std::string> writeJetFile(CatalogSource &source, const std::string &path, const jet::layout::Format &format)
{
    std::vector<std::string> warnings;
    writer::Writer writer(source, path, format, warnings);
    writer.run();
    return warnings;
}

}  // namespace build
