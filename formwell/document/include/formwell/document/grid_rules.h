// The rules the field grid applies while the user edits: the length check before a cell is
// committed, auto-completion of the list columns, and the comparison the loop-back rules use (those
// over all rows are with FieldRows). Pure functions; the grid only forwards its events here.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "formwell/common/user_interaction.h"
#include "formwell/document/field_definition.h"

namespace formwell {

// The general number test: optional blanks around, an optional sign, digits with at most one
// decimal point (at least one digit), and an optional exponent ("1e1", "2E-3"). Empty is not numeric.
bool isNumeric(std::string_view text);

// Numeric text rounded to a whole number, halves to the even neighbour ("2.5" -> 2, "3.5" -> 4).
// nullopt when the text is not numeric or the rounded value does not fit in 16 bits.
std::optional<std::int16_t> toWholeNumber16(std::string_view text);

// ---- Length check (Min Length / Max Length) ----

inline constexpr int kMaxLengthValue = 14;  // longest field the terminal's entry screen takes

inline constexpr std::string_view kNotNumericText = "Please use numeric value ...";
inline constexpr std::string_view kInvalidValueTitle = "Invalid value";
inline constexpr std::string_view kTooLongText = "The length cannot be more than 14 characters long ...";

enum class LengthEditOutcome {
    Accept,               // commit the new text
    AcceptAndSetPartner,  // commit it, and set the other length cell to partnerText
    RefuseNotNumeric,     // plain box "Please use numeric value ...", old value back
    RefuseTooLong,        // beep + "Invalid value" box, old value back
};

struct LengthEditDecision {
    LengthEditOutcome outcome = LengthEditOutcome::Accept;
    std::string editedText;   // what the edited cell holds afterwards: the new text or the old value
    int partnerColumn = -1;   // AcceptAndSetPartner: the other length column (2 or 3)
    std::string partnerText;  // AcceptAndSetPartner: its new text (decimal)
};

// Decides an edit of `column` from `oldValue` to `newText`; `row` holds the row's other cells.
// Columns other than Min Length and Max Length are accepted unchanged. A numeric text outside the
// 16-bit range is refused as too long.
LengthEditDecision checkLengthEdit(const FieldDefinition& row, int column, std::string_view newText,
                                   std::string_view oldValue);

// Beeps and shows the refusal message of a refused decision; does nothing for accepted ones.
void reportLengthRefusal(const LengthEditDecision& decision, UserInteraction& ui);

// The whole commit step: decides, reports a refusal, and writes the edited cell (and the partner)
// into `row`. Returns the decision.
LengthEditDecision applyLengthEdit(FieldDefinition& row, int column, std::string_view newText,
                                   std::string_view oldValue, UserInteraction& ui);

// ---- Auto-completion ----

// The pattern operator of the list columns, ignoring letter case: "?" any one character, "*" any
// run, "#" one digit, "[set]" one character of the set (ranges "a-z", "[!set]" negates, "[]"
// matches nothing, i.e. the empty text). A pattern with an unclosed "[" matches nothing.
bool likeMatch(std::string_view text, std::string_view pattern);

inline constexpr std::string_view kFieldTypeEntries[] = {"Text", "Number", "Date"};
inline constexpr std::string_view kYesNoEntries[] = {"Y", "N"};

// The list attached to a grid column: FieldType for 1, YesNo for 4 and 5, empty for the others.
std::span<const std::string_view> listForColumn(int column);

// Completes what the user typed: each list entry in order is compared with the current text plus a
// trailing "*" (the text is the pattern); a match replaces the text, and later entries are
// compared with the replaced text. Empty text is returned unchanged.
std::string autoComplete(std::string_view cellText, std::span<const std::string_view> list);

// ---- Loop-back field (the rules over all rows are with FieldRows) ----

bool equalsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace formwell
