// The device a person chose for a COM number, kept per user, so that the window, formwell-cli and
// both transfer libraries open the same cradle without an environment variable. Linux only: on
// Windows a COM number is the system's own name for the port.
//
// How port n finds its device: the variable COM<n> when it is set (a script, a test, the demo),
// then the stored choice, then /dev/ttyS<n-1>.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace serial {

// $FORMWELL_PORTS_FILE when set; otherwise $XDG_CONFIG_HOME/formwell/ports.conf, else
// ~/.config/formwell/ports.conf. Empty when none of them can be told.
std::filesystem::path portMapFile();

// The stored device of port n ("COM<n>=PATH" in the file); nullopt when none is stored or the file
// cannot be read. Lines that are no such entry are ignored.
std::optional<std::string> storedDeviceForPort(int portNumber);

// Stores `path` as port n's device, or forgets port n's entry when `path` is empty. The file is
// replaced whole, so a failure leaves the old one. False, with the reason in `error`, on failure.
bool storeDeviceForPort(int portNumber, const std::string& path, std::string& error);

// Given: a device given for this run (formwell-cli's --device), carried in COM<n> with a note of its
// own, so that every library of the process opens it and the messages say where it came from.
enum class DeviceOrigin { Variable, Stored, Default, None, Given };
// Which rule names port n's device.
DeviceOrigin deviceOriginForPort(int portNumber);
// Makes port n open `path` in this process and the programs it starts. False, with the reason in
// `error`, where a port's device cannot be chosen (Windows) or the environment refuses it.
bool giveDeviceForPort(int portNumber, const std::string& path, std::string& error);
// How port n becomes a device on this system, in a person's words.
std::string portRuleText();
// The device port n (1 to 255) opens when neither a variable nor a stored choice names one.
std::string defaultDeviceForPort(int portNumber);

}  // namespace serial
