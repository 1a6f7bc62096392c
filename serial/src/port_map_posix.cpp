#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <system_error>

#include "serial/port_map.h"

namespace serial {

namespace {

namespace fs = std::filesystem;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

std::string entryName(int portNumber) {
    return "COM" + std::to_string(portNumber & 0xFF);
}

// A ports file holds a line per port; anything longer is not one of ours.
constexpr std::size_t kLongestPortsFile = 64 * 1024;

enum class FileRead { Read, Missing, Unreadable };

// Every program that opens a port reads the file, so the read is bounded: a regular file only (a
// FIFO or a device put in its place would hold the open or never end), at most kLongestPortsFile.
FileRead readPortsFile(const fs::path& file, std::string& text) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT || errno == ENOTDIR ? FileRead::Missing : FileRead::Unreadable;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        (void)::close(fd);
        return FileRead::Unreadable;
    }
    char buffer[4096];
    while (text.size() < kLongestPortsFile) {
        const ssize_t got = ::read(fd, buffer, std::min(sizeof buffer, kLongestPortsFile - text.size()));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    (void)::close(fd);
    return FileRead::Read;
}

// name -> device, in the file's order of names.
std::map<std::string, std::string> parseEntries(const std::string& text) {
    std::map<std::string, std::string> entries;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::size_t equals = line.find('=');
        if (line.rfind("COM", 0) != 0 || equals == std::string::npos || equals + 1 == line.size()) {
            continue;
        }
        entries[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return entries;
}

}  // namespace

fs::path portMapFile() {
    if (const std::string named = environment("FORMWELL_PORTS_FILE"); !named.empty()) {
        return named;
    }
    if (const fs::path config = environment("XDG_CONFIG_HOME"); config.is_absolute()) {
        return config / "formwell" / "ports.conf";
    }
    if (const std::string home = environment("HOME"); !home.empty()) {
        return fs::path(home) / ".config" / "formwell" / "ports.conf";
    }
    return {};
}

std::optional<std::string> storedDeviceForPort(int portNumber) {
    const fs::path file = portMapFile();
    if (file.empty()) {
        return std::nullopt;
    }
    std::string text;
    if (readPortsFile(file, text) != FileRead::Read) {
        return std::nullopt;
    }
    const std::map<std::string, std::string> entries = parseEntries(text);
    const auto entry = entries.find(entryName(portNumber));
    if (entry == entries.end()) {
        return std::nullopt;
    }
    return entry->second;
}

bool storeDeviceForPort(int portNumber, const std::string& path, std::string& error) {
    const fs::path file = portMapFile();
    if (file.empty()) {
        error = "there is no home folder to keep the choice in";
        return false;
    }
    if (path.find('\n') != std::string::npos || path.find('\r') != std::string::npos) {
        error = "a device path holds no line break";
        return false;
    }
    std::string text;
    if (readPortsFile(file, text) == FileRead::Unreadable) {
        // Replacing it would lose the other ports' devices.
        error = "cannot read " + file.string() + " (not a file this user may read); nothing was changed";
        return false;
    }
    std::map<std::string, std::string> entries = parseEntries(text);
    if (path.empty()) {
        entries.erase(entryName(portNumber));
    } else {
        entries[entryName(portNumber)] = path;
    }
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    fs::path fresh = file;
    fresh += ".new." + std::to_string(::getpid());  // two programs storing at once write apart
    {
        std::ofstream out(fresh, std::ios::trunc);
        out << "# The device behind each COM number (formwell-cli ports --store N=PATH), for every Formwell "
               "program.\n";
        for (const auto& [name, device] : entries) {
            out << name << '=' << device << '\n';
        }
        if (!out.flush()) {
            error = "cannot write " + fresh.string();
            fs::remove(fresh, ec);
            return false;
        }
    }
    fs::rename(fresh, file, ec);
    if (ec) {
        error = "cannot replace " + file.string() + ": " + ec.message();
        fs::remove(fresh, ec);
        return false;
    }
    return true;
}

std::string portRuleText() {
    return "port n is the device in the variable COM<n>, else the one stored for it, else /dev/ttyS<n-1>";
}

std::string defaultDeviceForPort(int portNumber) {
    return "/dev/ttyS" + std::to_string(portNumber - 1);
}

namespace {

std::string givenNoteName(int portNumber) {
    return "FORMWELL_GIVEN_" + entryName(portNumber);
}

}  // namespace

bool giveDeviceForPort(int portNumber, const std::string& path, std::string& error) {
    if (::setenv(entryName(portNumber).c_str(), path.c_str(), 1) != 0 ||
        ::setenv(givenNoteName(portNumber).c_str(), path.c_str(), 1) != 0) {
        error = "the environment did not take the device: " + std::system_category().message(errno);
        return false;
    }
    return true;
}

DeviceOrigin deviceOriginForPort(int portNumber) {
    if (const std::string named = environment(entryName(portNumber).c_str()); !named.empty()) {
        // A COM<n> the person set after the note was made is theirs.
        return environment(givenNoteName(portNumber).c_str()) == named ? DeviceOrigin::Given
                                                                       : DeviceOrigin::Variable;
    }
    if (storedDeviceForPort(portNumber)) {
        return DeviceOrigin::Stored;
    }
    return (portNumber & 0xFF) == 0 ? DeviceOrigin::None : DeviceOrigin::Default;
}

}  // namespace serial
