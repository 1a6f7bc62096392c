// The machine-readable event log. One line per event:
//   <ms since start> <rx|tx|note> <event>
// e.g. "123 rx FRAME STX \"QTY\\r\\n\" xor=OK" or "130 tx ACK". Quoted texts use escapeText().
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace hhtsim {

class EventLog {
  public:
    EventLog();
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    // Without a file the log only counts time; returns false with a reason when the file cannot be made.
    bool open(const std::string& path, std::string& error);

    void rx(std::string_view event) { add("rx", event); }
    void tx(std::string_view event) { add("tx", event); }
    void note(std::string_view event) { add("note", event); }

    std::int64_t elapsedMs() const;

  private:
    void add(std::string_view direction, std::string_view event);
    std::chrono::steady_clock::time_point start_;
    std::FILE* file_ = nullptr;
};

}  // namespace hhtsim
