#include "windows_port_facts.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace serial::detail {

namespace {

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t at = text.find(separator); at != std::string::npos; at = text.find(separator, from)) {
        parts.push_back(text.substr(from, at - from));
        from = at + 1;
    }
    parts.push_back(text.substr(from));
    return parts;
}

// The four hex digits after "VID_" or "PID_" in either ID; empty when neither has them.
std::string idAfter(const SystemPortRecord& record, const std::string& key) {
    for (const std::string* id : {&record.hardwareId, &record.instanceId}) {
        const std::string text = upper(*id);
        const std::size_t at = text.find(key);
        if (at == std::string::npos || at + key.size() + 4 > text.size()) {
            continue;
        }
        std::string digits = text.substr(at + key.size(), 4);
        if (std::all_of(digits.begin(), digits.end(),
                        [](unsigned char c) { return std::isxdigit(c) != 0; })) {
            std::transform(digits.begin(), digits.end(), digits.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            return digits;
        }
    }
    return {};
}

std::string serialNumberOf(const std::string& instanceId) {
    const std::vector<std::string> parts = split(instanceId, '\\');
    if (parts.size() < 3) {
        return {};
    }
    const std::string bus = upper(parts[0]);
    if (bus == "FTDIBUS") {
        // FTDI's driver names the device VID_0403+PID_6001+<serial><channel letter>.
        const std::vector<std::string> pieces = split(parts[1], '+');
        if (pieces.size() == 3 && pieces[2].size() > 1) {
            return pieces[2].substr(0, pieces[2].size() - 1);
        }
        return {};
    }
    if (bus == "USB" && parts[2].find('&') == std::string::npos) {
        return parts[2];
    }
    return {};
}

// "USB Serial Port (COM3)" names the kind of port once its own name is taken off.
std::string kindOf(const SystemPortRecord& record) {
    const std::string suffix = " (" + record.portName + ")";
    const std::string& friendly = record.friendlyName;
    if (friendly.size() > suffix.size() &&
        upper(friendly.substr(friendly.size() - suffix.size())) == upper(suffix)) {
        return friendly.substr(0, friendly.size() - suffix.size());
    }
    if (!friendly.empty()) {
        return friendly;
    }
    return record.description.empty() ? "COM port" : record.description;
}

}  // namespace

std::optional<UsbIdentity> usbIdentityFromIds(const SystemPortRecord& record) {
    UsbIdentity usb;
    usb.vendorId = idAfter(record, "VID_");
    usb.productId = idAfter(record, "PID_");
    if (usb.vendorId.empty() || usb.productId.empty()) {
        return std::nullopt;
    }
    // A generic driver's package names its own maker ("Microsoft", "(Standard port types)"), which
    // says nothing of the adapter.
    if (record.manufacturer != "Microsoft" && record.manufacturer.rfind('(', 0) != 0) {
        usb.manufacturer = record.manufacturer;
    }
    usb.product = record.busReported;
    usb.serial = serialNumberOf(record.instanceId);
    return usb;
}

DeviceFacts factsFromSystemPort(const SystemPortRecord& record) {
    DeviceFacts facts;
    facts.path = record.portName;
    facts.kind = kindOf(record);
    facts.present = true;
    facts.accessKnown = false;
    facts.usb = usbIdentityFromIds(record);
    facts.driver = record.service;
    facts.latencyTimerMs = record.latencyTimerMs;
    return facts;
}

}  // namespace serial::detail
