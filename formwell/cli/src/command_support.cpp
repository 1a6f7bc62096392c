#include "command_support.h"

#include <vector>

#include "cli_app.h"
#include "formwell/document/input_file.h"

namespace formwell::cli {

int usageError(CommandContext& context, std::string_view command, const std::string& what) {
    context.err << kProgramName << ": " << what << "\nTry '" << kProgramName << " " << command
                << " --help'.\n";
    return kExitUsage;
}

void note(CommandContext& context, const std::string& what) {
    context.err << kProgramName << ": " << what << '\n' << std::flush;
}

std::variant<std::string, AppError> readWholeFile(const std::string& path, std::size_t limit) {
    InputFile file;
    if (std::optional<AppError> error = file.open(path)) {
        return *error;
    }
    std::string contents;
    std::vector<char> buffer(64 * 1024);
    while (true) {
        std::size_t got = 0;
        if (std::optional<AppError> error = file.read(buffer.data(), buffer.size(), got)) {
            return *error;
        }
        if (got == 0) {
            return contents;
        }
        if (contents.size() + got > limit) {
            return AppError{errnum::kPathFileAccess,
                            "The file is larger than " + std::to_string(limit / (1024 * 1024)) +
                                " MiB, more than any document or image can be (" + path + ")"};
        }
        contents.append(buffer.data(), got);
    }
}

bool hasExtension(const std::string& name, std::string_view extension) {
    if (name.size() < extension.size()) {
        return false;
    }
    for (std::size_t i = 0; i < extension.size(); ++i) {
        char c = name[name.size() - extension.size() + i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        char e = extension[i];
        if (e >= 'A' && e <= 'Z') {
            e = static_cast<char>(e - 'A' + 'a');
        }
        if (c != e) {
            return false;
        }
    }
    return true;
}

}  // namespace formwell::cli
