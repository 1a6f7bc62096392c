#include "hhtsim/event_log.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace hhtsim {

EventLog::EventLog() : start_(std::chrono::steady_clock::now()) {}

EventLog::~EventLog() {
    if (file_) {
        endStrayRun();
        std::fclose(file_);
    }
    if (record_) {
        std::fclose(record_);
    }
    if (wire_) {
        endWireStray();
        if (wireBytesIn_ > 0) {
            writeWire(lastInAt_, "rx", wireBytesIn_, "UNFINISHED");
        }
        std::fclose(wire_);
    }
}

bool EventLog::openWire(const std::string& path, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) {
        error = "cannot write the wire log " + path + ": " + std::strerror(errno);
        return false;
    }
    if (wire_) {
        std::fclose(wire_);
    }
    wire_ = file;
    return true;
}

bool EventLog::openRecord(const std::string& path, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) {
        error = "cannot write the record " + path + ": " + std::strerror(errno);
        return false;
    }
    if (record_) {
        std::fclose(record_);
    }
    record_ = file;
    return true;
}

void EventLog::record(std::string_view event) {
    if (!record_) {
        return;
    }
    std::fprintf(record_, "%lld %.*s\n", static_cast<long long>(elapsedMs()), static_cast<int>(event.size()),
                 event.data());
    std::fflush(record_);
}

void EventLog::wireIn(WireClock::time_point at) {
    if (!wire_) {
        return;
    }
    ++wireBytesIn_;
    lastInAt_ = at;
}

void EventLog::wireOut(std::size_t bytes, std::string_view what, WireClock::time_point at) {
    endWireStray();
    writeWire(at, "tx", bytes, what);
}

void EventLog::endWireStray() {
    if (wireStray_ == 0) {
        return;
    }
    const std::size_t stray = std::min(wireStray_, wireBytesIn_);
    writeWire(lastInAt_, "rx", stray, "STRAY");
    wireBytesIn_ -= stray;
    wireStray_ = 0;
}

void EventLog::writeWire(WireClock::time_point at, std::string_view direction, std::size_t bytes,
                         std::string_view event) {
    if (!wire_) {
        return;
    }
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(at - start_).count();
    std::fprintf(wire_, "%lld %.*s %zu %.*s\n", static_cast<long long>(us),
                 static_cast<int>(direction.size()), direction.data(), bytes, static_cast<int>(event.size()),
                 event.data());
}

bool EventLog::open(const std::string& path, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) {
        error = "cannot write the log " + path + ": " + std::strerror(errno);
        return false;
    }
    if (file_) {
        endStrayRun();
        std::fclose(file_);
    }
    file_ = file;
    return true;
}

std::int64_t EventLog::elapsedMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_)
        .count();
}

void EventLog::stray(std::uint8_t byte) {
    if (wire_) {
        ++wireStray_;
    }
    if (!file_) {
        return;
    }
    char text[16];
    if (++strayRun_ <= kStrayBytesShown) {
        std::snprintf(text, sizeof text, "BYTE 0x%02X", byte);
        write(elapsedMs(), "rx", text);
        return;
    }
    if (strayRun_ - kStrayBytesShown <= kStrayHexShown) {
        std::snprintf(text, sizeof text, "%s%02X", strayHex_.empty() ? "" : " ", byte);
        strayHex_ += text;
    }
    lastStrayMs_ = elapsedMs();
}

void EventLog::endStrayRun() {
    if (strayRun_ > kStrayBytesShown) {
        const std::size_t hidden = strayRun_ - kStrayBytesShown;
        write(lastStrayMs_, "rx",
              "STRAY " + std::to_string(hidden) + " more bytes: " + strayHex_ +
                  (hidden > kStrayHexShown ? " ..." : ""));
    }
    strayRun_ = 0;
    strayHex_.clear();
}

void EventLog::add(std::string_view direction, std::string_view event) {
    if (wire_ && direction == "rx") {
        endWireStray();
        if (wireBytesIn_ > 0) {
            writeWire(lastInAt_, "rx", wireBytesIn_, event);
        }
        wireBytesIn_ = 0;
    }
    if (!file_) {
        return;
    }
    endStrayRun();
    write(elapsedMs(), direction, event);
}

void EventLog::write(std::int64_t ms, std::string_view direction, std::string_view event) {
    std::fprintf(file_, "%lld %.*s %.*s\n", static_cast<long long>(ms), static_cast<int>(direction.size()),
                 direction.data(), static_cast<int>(event.size()), event.data());
    // Readers (tests, a tail -f) see each event as it happens, and nothing is lost on a hang-up.
    std::fflush(file_);
}

}  // namespace hhtsim
