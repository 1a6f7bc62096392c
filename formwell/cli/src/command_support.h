// Small pieces several subcommands share: a usage error found by the command itself, and reading a
// whole input file.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <variant>

#include "formwell/common/app_error.h"
#include "subcommand.h"

namespace formwell::cli {

// Prints "formwell-cli: <what>" and the hint to the command's help; returns kExitUsage.
int usageError(CommandContext& context, std::string_view command, const std::string& what);

// Prints "formwell-cli: <what>" on standard error (a warning or a refusal that is no message box).
void note(CommandContext& context, const std::string& what);

// The whole file, or the error that reading it gave (53 missing, 75 no regular file or unreadable,
// or larger than `limit`).
std::variant<std::string, AppError> readWholeFile(const std::string& path, std::size_t limit);

// A whole number written in decimal from `low` to `high`; nullopt for anything else.
std::optional<int> wholeNumber(const std::string& text, int low, int high);

// True when `name` ends in `extension` ("." included), compared without regard to case.
bool hasExtension(const std::string& name, std::string_view extension);

// Text from outside (a file name, an image's header) as a JSON string: well-formed UTF-8 as it is,
// any other byte as the Latin-1 character of its value, control characters escaped.
std::string jsonString(std::string_view text);
// The same text for a person's terminal: control characters (C0, DEL, C1) and bytes that are no
// UTF-8 shown as \xNN, so that nothing read from a file can steer the screen.
std::string printable(std::string_view text);

}  // namespace formwell::cli
