#pragma once

#include "catalog/criteria/record_criteria.h"

#include <vector>

namespace engine {
class ResultRows;
}

/// The recordset's sort: rows put in the order of one or more keys, as ADO's Sort orders a
/// client-side recordset. Text orders as Jet compares it (letter case aside, accented letters
/// beside their base letter); Null first ascending, last descending; rows that tie keep the
/// statement's order.
namespace criteria {

/// Every row of `rows` in the order of `keys` (the stored order without keys), into `sorted`.
void sortRows(const engine::ResultRows &rows, const std::vector<criteria::SortKey> &keys, std::vector<int> &sorted);

}  // namespace criteria
