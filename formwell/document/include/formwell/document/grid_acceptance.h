// Which cells of a document the grid would not have taken from a person typing: rows that come from
// elsewhere (a spreadsheet, a script) are written as they are, but the person hears about each cell
// that editing in the window could not have produced.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "formwell/document/field_definition.h"

namespace formwell {

struct CellWarning {
    std::size_t row = 0;  // counted from 0
    int column = 0;       // grid column
    std::string reason;   // "longer than the 2 characters the grid takes; ..."
};

// In row order, columns left to right; a cell may have more than one reason.
std::vector<CellWarning> cellsTheGridWouldRefuse(const std::vector<FieldDefinition>& rows);

// "row 3, Max Length \"15\": The length cannot be more than 14 characters long ..."
std::string describeCellWarning(const CellWarning& warning, const std::vector<FieldDefinition>& rows);

}  // namespace formwell
