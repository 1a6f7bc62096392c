// The serial devices of a Linux machine, from /dev and /sys. Reads only.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "open_failure.h"
#include "serial/port_list.h"

namespace serial {

namespace {

namespace fs = std::filesystem;

constexpr int kHighestPortVariable = 255;
// The kernel's major number of pseudo-terminal devices.
constexpr unsigned kPtyMajorFirst = 136;
constexpr unsigned kPtyMajorLast = 143;

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string firstLine(const fs::path& file) {
    std::string line;
    std::getline(std::ifstream(file), line);
    return line;
}

// A ttyS node exists for every port the driver could have; only those whose type is not 0 (unknown)
// have a UART behind them.
bool hasUart(const DeviceRoots& roots, const std::string& name) {
    const std::string type = firstLine(fs::path(roots.sysTty) / name / "type");
    return !type.empty() && type != "0";
}

bool isPty(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) {
        return startsWith(path, "/dev/pts/");
    }
    return major(info.st_rdev) >= kPtyMajorFirst && major(info.st_rdev) <= kPtyMajorLast;
}

std::string kindOf(const std::string& path) {
    const std::string name = fs::path(path).filename().string();
    if (startsWith(name, "ttyUSB")) {
        return "USB serial adapter";
    }
    if (startsWith(name, "ttyACM")) {
        return "USB modem (ACM)";
    }
    if (startsWith(name, "ttyS")) {
        return "UART";
    }
    if (isPty(path)) {
        return "pseudo-terminal";
    }
    return "";
}

std::vector<std::string> stableNames(const DeviceRoots& roots, const std::string& path) {
    std::vector<std::string> names;
    std::error_code ec;
    const fs::path target = fs::weakly_canonical(path, ec);
    for (fs::directory_iterator it(fs::path(roots.dev) / "serial" / "by-id", ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code linkEc;
        if (fs::weakly_canonical(it->path(), linkEc) == target && !linkEc) {
            names.push_back(it->path().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The kernel's facts behind /sys/class/tty/<name>: the driver of the port's device and, for a USB
// adapter, the identity of the USB device a few levels up (the port, its interface, the device).
void readDeviceTree(const DeviceRoots& roots, const std::string& name, DeviceFacts& facts) {
    std::error_code ec;
    const fs::path port = fs::canonical(fs::path(roots.sysTty) / name / "device", ec);
    if (ec) {
        return;
    }
    const fs::path driver = fs::canonical(port / "driver", ec);
    if (!ec) {
        facts.driver = driver.filename().string();
    }
    if (const std::string latency = firstLine(port / "latency_timer"); !latency.empty()) {
        char* end = nullptr;
        const long ms = std::strtol(latency.c_str(), &end, 10);
        if (end != latency.c_str() && ms >= 0 && ms <= 255) {
            facts.latencyTimerMs = static_cast<int>(ms);
            facts.latencyTimerFile = (port / "latency_timer").string();
        }
    }
    fs::path up = port;
    for (int level = 0; level < 4 && !up.empty() && up != up.root_path(); ++level, up = up.parent_path()) {
        if (fs::exists(up / "idVendor", ec)) {
            facts.usb = UsbIdentity{firstLine(up / "idVendor"), firstLine(up / "idProduct"),
                                    firstLine(up / "manufacturer"), firstLine(up / "product"),
                                    firstLine(up / "serial")};
            return;
        }
    }
}

}  // namespace

DeviceFacts describeDevice(const std::string& path, const DeviceRoots& roots) {
    DeviceFacts facts;
    facts.path = path;
    std::error_code ec;
    facts.present = fs::exists(path, ec);
    facts.kind = kindOf(path);
    if (!facts.present) {
        return facts;
    }
    facts.byId = stableNames(roots, path);
    std::error_code canonicalEc;
    const fs::path device = fs::canonical(path, canonicalEc);
    readDeviceTree(roots, (canonicalEc ? fs::path(path) : device).filename().string(), facts);
    facts.mayOpen = ::access(path.c_str(), R_OK | W_OK) == 0;
    // The far end of a pseudo-terminal keeps its device open; only a lock says the port is taken.
    facts.heldBy = facts.kind == "pseudo-terminal" ? detail::lockHoldersOf(path) : detail::holdersOf(path);
    return facts;
}

std::vector<DeviceFacts> listSerialDevices(const DeviceRoots& roots) {
    std::vector<std::string> paths;
    std::error_code ec;
    for (fs::directory_iterator it(roots.dev, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (startsWith(name, "ttyUSB") || startsWith(name, "ttyACM") ||
            (startsWith(name, "ttyS") && hasUart(roots, name))) {
            paths.push_back(it->path().string());
        }
    }
    for (int n = 0; n <= kHighestPortVariable; ++n) {
        const char* named = std::getenv(("COM" + std::to_string(n)).c_str());
        if (named != nullptr && *named != '\0' && fs::exists(named, ec)) {
            // A by-id link names a device listed already: one line for it, named as the system names it.
            const fs::path device = fs::canonical(named, ec);
            paths.push_back(ec ? std::string(named) : device.string());
        }
    }
    std::sort(paths.begin(), paths.end());
    paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
    std::vector<DeviceFacts> devices;
    for (const std::string& path : paths) {
        devices.push_back(describeDevice(path, roots));
    }
    return devices;
}

}  // namespace serial
