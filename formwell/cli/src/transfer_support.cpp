#include "transfer_support.h"

#include <cstdlib>
#include <exception>

#include "command_support.h"
#include "formwell/common/app_error.h"
#include "formwell/link/comrig_trace.h"
#include "formwell/link/port_settings.h"
#include "serial/port_map.h"

namespace formwell::cli {

link::ComrigTable transferComrig(CommandContext& context) {
    // Inside the trace: a call stopped by Ctrl-C ends before the trace writes its line, and a read
    // made in slices to see Ctrl-C is traced as the one read it stands for.
    link::ComrigTable table = link::interruptibleComrig(context.comrig(), context.interrupted);
    if (context.global.trace) {
        table = link::tracedComrig(std::move(table), context.err);
    }
    return table;
}

#ifndef _WIN32
namespace {

// mbx.dat's port, read quietly: the transfer reports a missing or broken file in its own words.
std::int32_t settingsPort(const std::string& startupDirectory) {
    try {
        if (const std::optional<std::string> line = link::readPortSettingsLine(
                link::startupFile(startupDirectory, link::kPortSettingsFileName))) {
            return link::portSettingsFromLine(*line).PortNumber;
        }
    } catch (const AppError&) {
    } catch (const std::exception&) {
    }
    return 1;
}

}  // namespace
#endif

int choosePort(CommandContext& c, std::string_view command, std::optional<std::int32_t>& port) {
    if (const std::optional<std::string> text = c.line.value("--port")) {
        const std::optional<int> number = wholeNumber(*text, 0, 255);
        if (!number) {
            return usageError(c, command, "--port takes a port number from 0 to 255");
        }
        port = *number;
    }
    const std::optional<std::string> device = c.line.value("--device");
    if (!device) {
        return kExitSuccess;
    }
#ifdef _WIN32
    return usageError(c, command, "--device is for Linux; on Windows a port is its COM number: use --port N");
#else
    if (device->empty()) {
        return usageError(c, command, "--device takes the path of a serial device, e.g. /dev/ttyUSB0");
    }
    const std::int32_t number = port ? *port : settingsPort(c.global.startupDirectory);
    if (std::string error; !serial::giveDeviceForPort(number, *device, error)) {
        return usageError(c, command, "--device could not be given to the port: " + error);
    }
    return kExitSuccess;
#endif
}

int exitStatusOf(link::CommandOutcome outcome) {
    return outcome == link::CommandOutcome::Succeeded ? kExitSuccess : kExitFailed;
}

}  // namespace formwell::cli
