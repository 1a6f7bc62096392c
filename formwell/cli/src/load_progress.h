// How a running load shows on the console: on a terminal one line updated in place, with a bar, the
// share, the time and the rate; into a file or a pipe a few plain lines (the start, each quarter,
// the end). A station's child also reports on a pipe to its parent, one machine-readable line per
// change ("progress 45.0 12034", "cancelling", "result 14").
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "formwell/link/load_worker.h"

namespace formwell::cli {

// "0:07", "12:30", "1:02:03".
std::string clockText(std::chrono::steady_clock::duration elapsed);

// "[##########----------]  50 %  0:12  1.9 KiB/s"; "waiting for the terminal ...  0:03" before the
// first share. `imageBytes` estimates the rate from the share (0: no rate).
std::string loadStatusText(const link::LoadSnapshot& snapshot, std::uint64_t imageBytes,
                           std::size_t barWidth);

class ConsoleLoadProgress {
  public:
    ConsoleLoadProgress(std::ostream& err, bool terminal, std::string label, std::uint64_t imageBytes);
    void show(const link::LoadSnapshot& snapshot);
    // Ends the updating line; the messages that follow start on a line of their own.
    void finish(const link::LoadSnapshot& snapshot);
    void note(const std::string& text);

  private:
    std::ostream& err_;
    bool terminal_;
    std::string label_;
    std::uint64_t imageBytes_;
    bool lineOpen_ = false;
    std::string lastText_;
    int nextQuarter_ = 0;  // plain output: the next quarter worth a line
};

// The child's report to its station: one line per change, flushed at once.
class ProgressChannel {
  public:
    explicit ProgressChannel(int fd) : fd_(fd) {}
    void progress(const link::LoadSnapshot& snapshot);
    void cancelling();
    void result(std::int32_t result);

  private:
    void write(const std::string& line);
    int fd_;
    double lastPercent_ = -2.0;
};

// One line of a child's report, read by the station.
struct ChannelEvent {
    enum class Kind { Progress, Cancelling, Result } kind = Kind::Progress;
    double percent = -1.0;
    std::int64_t elapsedMs = 0;
    std::int32_t result = 0;
};
std::optional<ChannelEvent> parseChannelLine(const std::string& line);

}  // namespace formwell::cli
