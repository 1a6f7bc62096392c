// What happened, afterwards: every transfer adds one line to a history kept per user, and the last
// transfer's byte trace is kept beside it, so that a failure reported by telephone can be looked at
// later. Both are bounded in size, and neither may ever disturb a transfer: a history that cannot be
// written is simply not written.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

namespace formwell::link {

inline constexpr const char* kHistoryFileName = "history.txt";
inline constexpr const char* kTraceFileName = "last-trace.txt";
inline constexpr std::uintmax_t kHistoryMaxBytes = 256 * 1024;
inline constexpr std::uintmax_t kTraceMaxBytes = 4 * 1024 * 1024;

struct TransferRecord {
    std::string command;  // the command's caption: "Transmit ini File"
    std::int32_t port = 0;
    std::string device;  // what COM<port> opens
    std::string file;    // the INI file sent, import.txt, the image loaded
    std::string result;  // "succeeded", "failed", "not started"
    std::string count;   // "12 of 12 lines", "40 records", "result 1 (S-record image loaded)"
    std::string detail;  // the words beneath the result box, when there were any
};

// One line of the history, tab-separated so that a spreadsheet or a script can split it:
// "2026-12-09 17:40:01" TAB command TAB "COM3 /dev/ttyUSB0" TAB file TAB result TAB count, then TAB
// detail when there is one. Tabs and line breaks inside a field become blanks.
std::string historyLine(const TransferRecord& record, const std::tm& localTime);

// Where a user's history lives: $FORMWELL_STATE_DIR when set; on Linux $XDG_STATE_HOME/formwell,
// else ~/.local/state/formwell; on Windows %LOCALAPPDATA%\Formwell. Empty when none can be told.
std::filesystem::path historyFolder();

class TransferHistory {
  public:
    // `folder` empty: nothing is kept. The folder is created when the first line is written.
    explicit TransferHistory(std::filesystem::path folder, std::uintmax_t historyMaxBytes = kHistoryMaxBytes,
                             std::uintmax_t traceMaxBytes = kTraceMaxBytes);
    ~TransferHistory();
    TransferHistory(const TransferHistory&) = delete;
    TransferHistory& operator=(const TransferHistory&) = delete;

    // Adds the line, dated now. A history grown past its bound first loses its oldest lines, down
    // to half the bound, so it is rewritten only now and then.
    void record(const TransferRecord& record);
    void record(const TransferRecord& record, const std::tm& localTime);

    // The trace of the transfer that may begin: the first byte written to traceStream() starts
    // last-trace.txt afresh, headed by the command and the time, so a command that never reached the port (a
    // cancelled dialog) leaves the last trace as it was. Past its bound the trace ends with a line
    // saying it was cut. Outside beginTrace/endTrace the stream writes nowhere.
    void beginTrace(std::string_view command);
    void endTrace();
    std::ostream& traceStream();
    // Milliseconds since the trace began, for the trace's time stamps.
    std::int64_t traceMs() const;

    const std::filesystem::path& folder() const { return folder_; }

  private:
    class BoundedBuffer;

    std::filesystem::path folder_;
    std::uintmax_t historyMaxBytes_;
    std::unique_ptr<BoundedBuffer> traceBuffer_;
    std::unique_ptr<std::ostream> traceStream_;
    std::int64_t traceBeganMs_ = 0;
};

}  // namespace formwell::link
