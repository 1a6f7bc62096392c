// The facts behind an open failure are gathered from the system apart from their wording, so the
// wording can be checked without devices.
#pragma once

#include <optional>
#include <string>

#include "serial/port_map.h"
#include "serial/serial_device.h"

namespace serial::detail {

struct OpenFailureFacts {
    ErrorKind kind = ErrorKind::None;
    std::string reason;  // the error's own text
    int port = 0;        // 0 to 255
    // The device the port names; none when nothing names one (COM0 unset on POSIX).
    std::optional<std::string> device;
    DeviceOrigin origin = DeviceOrigin::Default;  // which rule named it
    bool variablesNamePorts = false;              // this system takes a port's device from COM<n>
    // NoSuchDevice although the device's name exists: a driver node with no port fitted behind it.
    bool deviceNodeExists = false;
    // PermissionDenied: the group that may read and write the device (empty when no group may).
    std::string group;
    // The user is in that group, but this login began before it was added.
    bool groupNotInSession = false;
    // InUse: who holds the device ("minicom (pid 812)"); empty when the system cannot tell.
    std::string holders;
};

// The sentence for a person; empty when facts.kind is None.
std::string explainOpenFailure(const OpenFailureFacts& facts);

// Looks at the system for the facts an error's kind calls for. One implementation per platform.
OpenFailureFacts gatherOpenFailureFacts(const Error& error, int portNumber);

// The programs that have the device open, "name (pid N)" joined with commas and "and"; empty when the
// system cannot tell (Windows, or another user's programs).
std::string holdersOf(const std::string& path);
// Only the programs that hold the device's lock (every cooperating opener takes it); POSIX only. A
// pseudo-terminal's other end keeps its device open without holding the port, so openers alone do
// not say that it is in use.
std::string lockHoldersOf(const std::string& path);

}  // namespace serial::detail
