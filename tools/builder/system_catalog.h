#pragma once

#include "jet/layout.h"
#include "jet/stored_type.h"

#include <cstdint>
#include <string>
#include <vector>

/// The system catalog that Access's own files of each version carry, as this builder writes
/// it: the columns of MSysObjects, the containers under the database object, and the system
/// tables Jet keeps beside MSysObjects (empty, since a built catalog has no queries,
/// relationships or permissions). Another version is one more description.
namespace build::writer {

/// A row of MSysObjects under the database object.
struct Container {
    std::int32_t id;
    const char *name;
    std::uint32_t flags;  ///< kEngineObjectFlags for Jet's own; 0 for those Access adds
};

struct SystemTable {
    const char *name;
    std::vector<jet::Column> columns;
    std::uint32_t flags;  ///< the Flags of its MSysObjects row
    bool systemDefinition = true;  ///< its definition says system table (ACE's complex-type tables say user table)
};

struct SystemCatalog {
    std::vector<jet::Column> objectColumns;  ///< MSysObjects' columns, in column order
    std::vector<Container> containers;       ///< in row order
    std::vector<SystemTable> tables;         ///< after MSysObjects, in definition-page order
};

/// The description for the version of `l`: Jet 3, Jet 4.0, or ACE (Access 2007 and later),
/// told apart by the header's version byte.
const SystemCatalog &systemCatalogFor(const jet::layout::Format &format);

}  // namespace build::writer
