#pragma once

#include "tools/builder/catalog_model.h"

#include <string>

/// The properties Access keeps for a table in its catalog row (MSysObjects' LvProp): here,
/// for each calculated column, the expression it is computed by and the type of its result.
namespace build::properties {

/// The property block of `t`: "MR2", the names' block, then one block per calculated column
/// that has an expression. Empty when no column has one, as Access leaves LvProp then.
std::string tableProperties(const TableDef &t);

}  // namespace build::properties
