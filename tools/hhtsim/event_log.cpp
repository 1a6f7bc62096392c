#include "tools/hhtsim/event_log.h"

#include <cerrno>
#include <cstring>

namespace hhtsim {

EventLog::EventLog() : start_(std::chrono::steady_clock::now()) {}

EventLog::~EventLog() {
    if (file_)
        std::fclose(file_);
}

bool EventLog::open(const std::string& path, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) {
        error = "cannot write the log " + path + ": " + std::strerror(errno);
        return false;
    }
    if (file_)
        std::fclose(file_);
    file_ = file;
    return true;
}

std::int64_t EventLog::elapsedMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_)
        .count();
}

void EventLog::add(std::string_view direction, std::string_view event) {
    if (!file_)
        return;
    std::fprintf(file_, "%lld %.*s %.*s\n", static_cast<long long>(elapsedMs()),
                 static_cast<int>(direction.size()), direction.data(), static_cast<int>(event.size()),
                 event.data());
    // Readers (tests, a tail -f) see each event as it happens, and nothing is lost on a hang-up.
    std::fflush(file_);
}

}  // namespace hhtsim
