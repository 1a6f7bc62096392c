#include "command_support.h"

#include <charconv>
#include <cstdio>
#include <vector>

#include "cli_app.h"
#include "formwell/document/input_file.h"

namespace formwell::cli {

std::optional<int> wholeNumber(const std::string& text, int low, int high) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

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

namespace {

// The length of the well-formed UTF-8 sequence at `at`, 0 when there is none.
std::size_t utf8Length(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) {
        return 0;
    }
    for (std::size_t i = at + 2; i < at + length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

bool isC1(std::string_view text, std::size_t at, std::size_t length) {
    return length == 2 && static_cast<unsigned char>(text[at]) == 0xC2 &&
           static_cast<unsigned char>(text[at + 1]) <= 0x9F;
}

std::string escaped(const char* format, unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        const std::size_t length = utf8Length(text, at);
        if (byte == '"' || byte == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(byte));
        } else if (length == 0 || byte < 0x20 || byte == 0x7F || isC1(text, at, length)) {
            // A byte outside UTF-8 stands for the Latin-1 character of its value.
            const unsigned value = isC1(text, at, length) ? static_cast<unsigned char>(text[at + 1]) : byte;
            out += escaped("\\u%04x", value);
        } else {
            out.append(text.substr(at, length));
        }
        at += length == 0 ? 1 : length;
    }
    return out + "\"";
}

std::string printable(std::string_view text) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        const std::size_t length = utf8Length(text, at);
        if (length == 0 || byte < 0x20 || byte == 0x7F || isC1(text, at, length)) {
            out += escaped("\\x%02X", byte);
            ++at;
        } else {
            out.append(text.substr(at, length));
            at += length;
        }
    }
    return out;
}

}  // namespace formwell::cli
