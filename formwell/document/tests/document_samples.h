// Records and rows the document's file tests save over one another.
#pragma once

#include <string>
#include <vector>

#include "formwell/document/ini_file.h"

namespace formwell::samples {

// One whole INI record each, so a test can tell which of two saves a file holds.
inline const std::string kOldRecord = "OLD           Text  4 NN1 0111111111111111\r\n";
inline const std::string kNewRecord = "NEW           Number5 YN1 0111111111111111\r\n";

inline std::vector<FieldDefinition> someRows(int count) {
    std::vector<FieldDefinition> rows(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        rows[static_cast<std::size_t>(i)] = {"F" + std::to_string(i), "Text", "1", "5", "Y", "N", ""};
    }
    return rows;
}

}  // namespace formwell::samples
