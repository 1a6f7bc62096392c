#include "formwell/document/field_definition.h"

namespace formwell {

std::string& cell(FieldDefinition& row, FieldColumn column) {
    switch (column) {
        case FieldColumn::FieldName:
            return row.FieldName;
        case FieldColumn::FieldType:
            return row.FieldType;
        case FieldColumn::MinFieldLength:
            return row.MinFieldLength;
        case FieldColumn::FieldLength:
            return row.FieldLength;
        case FieldColumn::Required:
            return row.Required;
        case FieldColumn::Loopback:
            return row.Loopback;
        case FieldColumn::Barcodes:
            break;
    }
    return row.Barcodes;
}

const std::string& cell(const FieldDefinition& row, FieldColumn column) {
    return cell(const_cast<FieldDefinition&>(row), column);
}

std::string cellText(const FieldDefinition& row, int column) {
    if (!isFieldColumn(column)) {
        return {};
    }
    return cell(row, static_cast<FieldColumn>(column));
}

bool setCellText(FieldDefinition& row, int column, std::string_view text) {
    if (!isFieldColumn(column)) {
        return false;
    }
    cell(row, static_cast<FieldColumn>(column)) = std::string(text);
    return true;
}

}  // namespace formwell
