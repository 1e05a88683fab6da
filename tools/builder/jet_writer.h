#pragma once

#include "jet/layout.h"
#include "tools/builder/catalog_model.h"

#include <string>
#include <vector>

namespace build {

/// Writes `source` as a Jet or ACE file at `path`, in `format` (one kFormats entry with a
/// --format word): the system catalog, each table's
/// definition and usage maps, data pages with the rows in source order, long values
/// inline, on one long-value page or chained over several, text compressed where that
/// is shorter. The file is written under a temporary name in the same folder and renamed
/// to `path` once complete. Throws BuildError (naming table, row and column for a value
/// that does not fit); then nothing is left at `path` that was not there before.
/// A primary key of whole numbers is written as Jet's index; any other key is checked
/// only, and the returned warnings name each such table.
std::vector<std::string> writeJetFile(CatalogSource &source, const std::string &path,
                                      const jet::layout::Format &format);

}  // namespace build
