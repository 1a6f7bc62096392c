// Hostile mbx.dat lines: any bytes must cut into columns and convert without a fault; a conversion
// fails only with the settings' own error numbers, and what the window writes back from the columns
// reads back to the same columns.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "formwell/common/app_error.h"
#include "formwell/link/port_settings.h"

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
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
    return 0;
}
