#include "formwell/document/grid_rules.h"

#include <algorithm>
#include <string>

#include "formwell/document/number_text.h"

namespace formwell {

namespace {

// An empty or non-numeric partner is read so that the entered length always wins: Min as if it
// were 15, Max as if it were 0, which copies the entered value into the empty cell.
constexpr int kMinWhenNotNumeric = 15;
constexpr int kMaxWhenNotNumeric = 0;

constexpr int kMinColumn = static_cast<int>(FieldColumn::MinFieldLength);
constexpr int kMaxColumn = static_cast<int>(FieldColumn::FieldLength);

char foldCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

LengthEditDecision refuse(LengthEditOutcome outcome, std::string_view oldValue) {
    return LengthEditDecision{outcome, std::string(oldValue), -1, {}};
}

}  // namespace

LengthEditDecision checkLengthEdit(const FieldDefinition& row, int column, std::string_view newText,
                                   std::string_view oldValue) {
    if (column != kMinColumn && column != kMaxColumn) {
        return LengthEditDecision{LengthEditOutcome::Accept, std::string(newText), -1, {}};
    }
    if (!isNumeric(newText)) {
        return refuse(LengthEditOutcome::RefuseNotNumeric, oldValue);
    }
    const std::optional<std::int16_t> entered = toWholeNumber16(newText);
    if (!entered || *entered > kMaxLengthValue) {
        return refuse(LengthEditOutcome::RefuseTooLong, oldValue);
    }

    LengthEditDecision accepted{LengthEditOutcome::Accept, std::string(newText), -1, {}};
    if (column == kMinColumn) {
        const int max = saturatedWholeNumber16(row.FieldLength, kMaxWhenNotNumeric);
        if (*entered > max) {
            accepted.outcome = LengthEditOutcome::AcceptAndSetPartner;
            accepted.partnerColumn = kMaxColumn;
            accepted.partnerText = std::to_string(*entered);
        }
    } else {
        const int min = saturatedWholeNumber16(row.MinFieldLength, kMinWhenNotNumeric);
        if (*entered < min) {
            accepted.outcome = LengthEditOutcome::AcceptAndSetPartner;
            accepted.partnerColumn = kMinColumn;
            accepted.partnerText = std::to_string(*entered);
        }
    }
    return accepted;
}

void reportLengthRefusal(const LengthEditDecision& decision, UserInteraction& ui) {
    switch (decision.outcome) {
        case LengthEditOutcome::RefuseNotNumeric:
            ui.show(plainNotice(std::string(kNotNumericText)));
            break;
        case LengthEditOutcome::RefuseTooLong:
            ui.beep();
            ui.show(information(std::string(kInvalidValueTitle), std::string(kTooLongText)));
            break;
        case LengthEditOutcome::Accept:
        case LengthEditOutcome::AcceptAndSetPartner:
            break;
    }
}

LengthEditDecision applyLengthEdit(FieldDefinition& row, int column, std::string_view newText,
                                   std::string_view oldValue, UserInteraction& ui) {
    LengthEditDecision decision = checkLengthEdit(row, column, newText, oldValue);
    reportLengthRefusal(decision, ui);
    setCellText(row, column, decision.editedText);
    if (decision.outcome == LengthEditOutcome::AcceptAndSetPartner) {
        setCellText(row, decision.partnerColumn, decision.partnerText);
    }
    return decision;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return foldCase(x) == foldCase(y); });
}

}  // namespace formwell
