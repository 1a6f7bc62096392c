// mbx.dat on disk: read before every transfer and when the PC Configuration window opens, replaced
// whole when the window saves.
#include <array>

#include "formwell/document/input_file.h"
#include "formwell/document/replace_file.h"
#include "formwell/link/port_settings.h"

namespace formwell::link {

std::optional<std::string> readPortSettingsLine(const std::filesystem::path& path) {
    InputFile file;
    if (std::optional<AppError> error = file.open(path)) {
        if (error->number == errnum::kFileNotFound) {
            return std::nullopt;
        }
        throw *error;
    }
    // Only the first line's 15 columns are ever used: stop there, however large the file is.
    std::string line;
    std::array<char, 64> chunk{};
    for (;;) {
        std::size_t got = 0;
        if (std::optional<AppError> error = file.read(chunk.data(), chunk.size(), got)) {
            throw *error;
        }
        if (got == 0) {
            return line;
        }
        for (std::size_t i = 0; i < got; ++i) {
            if (chunk[i] == '\r' || chunk[i] == '\n' || line.size() == kPortSettingsLineLength) {
                return line;
            }
            line.push_back(chunk[i]);
        }
    }
}

bool loadPortSettings(const std::string& startupDirectory, UserInteraction& ui, PortSettings& settings) {
    const std::optional<std::string> line =
        readPortSettingsLine(std::filesystem::path(startupFile(startupDirectory, kPortSettingsFileName)));
    if (!line) {
        ui.beep();
        ui.show(information(std::string(kSettingsMissingTitle), std::string(kSettingsMissingText)));
        return false;
    }
    settings = portSettingsFromLine(*line);
    return true;
}

std::optional<AppError> writePortSettingsFile(const std::filesystem::path& path,
                                              const PortSettingsText& text) {
    return replaceFileContents(path, formatPortSettingsLine(text));
}

}  // namespace formwell::link
