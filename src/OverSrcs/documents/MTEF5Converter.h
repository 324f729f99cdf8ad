#pragma once
// MTEF records to expression nodes.

#include "OverSrcs/documents/MTEF5Records.h"
#include "OverSrcs/eObject.h"

namespace MTEF5 {

// The row of the equation's top-level records; null when a record cannot be converted. Version 5
// characters are Unicode; earlier versions hold font bytes.
ExprPtr ConvertEquation(std::vector<std::unique_ptr<Record>> records, bool v5);

} // namespace MTEF5
