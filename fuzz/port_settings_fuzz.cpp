// Hostile mbx.dat lines: any bytes must cut into columns and convert without a fault; a conversion
// fails only with the settings' own error numbers, and what the window writes back from the columns
// reads back to the same columns. The same bytes as a whole mbx.dat load as their first line does.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "formwell/common/app_error.h"
#include "formwell/link/port_settings.h"
#include "formwell/testing/recording_interaction.h"
#include "formwell/testing/temp_dir.h"

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// The settings a line gives, or the number of the error it raises.
struct Outcome {
    std::optional<formwell::link::PortSettings> settings;
    std::int32_t error = 0;
};

bool sameOutcome(const Outcome& a, const Outcome& b) {
    if (a.error != b.error || a.settings.has_value() != b.settings.has_value()) {
        return false;
    }
    if (!a.settings) {
        return true;
    }
    const formwell::link::PortSettings& x = *a.settings;
    const formwell::link::PortSettings& y = *b.settings;
    return x.PortNumber == y.PortNumber && x.BaudRate == y.BaudRate && x.DataBits == y.DataBits &&
           x.Parity.text() == y.Parity.text() && x.StopBits == y.StopBits && x.FlowMode == y.FlowMode;
}

template <typename Load>
Outcome outcomeOf(Load load) {
    Outcome outcome;
    try {
        outcome.settings = load();
    } catch (const formwell::AppError& e) {
        outcome.error = e.number;
    }
    return outcome;
}

// The file holds the bytes; what loads is what the first line's first 15 characters give.
void checkFile(std::string_view bytes) {
    static const formwell::testing::TempDir dir;
    formwell::testing::writeBytes(dir.path() / formwell::link::kPortSettingsFileName, std::string(bytes));
    formwell::testing::RecordingInteraction ui;
    const Outcome loaded = outcomeOf([&] {
        formwell::link::PortSettings settings;
        check(formwell::link::loadPortSettings(dir.path().string(), ui, settings));
        return settings;
    });
    const std::string_view line =
        bytes.substr(0, std::min(bytes.find_first_of("\r\n"), formwell::link::kPortSettingsLineLength));
    check(sameOutcome(loaded, outcomeOf([&] { return formwell::link::portSettingsFromLine(line); })));
    check(ui.events().empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const formwell::link::PortSettingsText text = formwell::link::parsePortSettingsLine(line);
    check(text.port.size() <= 5 && text.baud.size() <= 6 && text.connector.size() <= 1);
    // Columns of the right widths survive a save and a load unchanged.
    if (text.port.size() == 5 && text.baud.size() == 6 && text.dataBits.size() == 1 &&
        text.parity.size() == 1 && text.stopBits.size() == 1 && text.connector.size() == 1) {
        check(formwell::link::parsePortSettingsLine(formwell::link::formatPortSettingsLine(text)) == text);
    }
    try {
        const formwell::link::PortSettings settings = formwell::link::portSettingsFromLine(line);
        check(settings.FlowMode == 2 && settings.PortNumber >= 0 && settings.PortNumber <= 9);
        const std::int32_t parity = settings.Parity.number();
        check(parity >= 1 && parity <= 3);
    } catch (const formwell::AppError& e) {
        check(e.number == formwell::errnum::kTypeMismatch || e.number == formwell::errnum::kOverflow);
    }
    checkFile(line);
    return 0;
}
