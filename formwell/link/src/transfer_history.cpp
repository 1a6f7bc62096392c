#include "formwell/link/transfer_history.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <streambuf>
#include <system_error>

namespace formwell::link {

namespace {

std::string oneField(const std::string& text) {
    std::string field = text;
    for (char& c : field) {
        if (c == '\t' || c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return field;
}

std::int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::tm localNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    (void)localtime_s(&local, &now);
#else
    (void)localtime_r(&now, &local);
#endif
    return local;
}

std::filesystem::path fromEnvironment(const char* name) {
#ifdef _WIN32
    std::wstring wide(name, name + std::char_traits<char>::length(name));
    const wchar_t* value = _wgetenv(wide.c_str());
#else
    const char* value = std::getenv(name);
#endif
    if (value == nullptr || *value == 0) {
        return {};
    }
    return std::filesystem::path(value);
}

// Keeps the newest lines that fit in `keepBytes`, replacing the file only once the shorter copy is
// whole, so that a failure part-way leaves the longer history rather than none.
void trimHistory(const std::filesystem::path& file, std::uintmax_t keepBytes) {
    std::ifstream in(file, std::ios::binary);
    std::deque<std::string> lines;
    std::uintmax_t kept = 0;
    for (std::string line; std::getline(in, line);) {
        kept += line.size() + 1;
        lines.push_back(std::move(line));
        while (kept > keepBytes && !lines.empty()) {
            kept -= lines.front().size() + 1;
            lines.pop_front();
        }
    }
    in.close();
    std::filesystem::path shorter = file;
    shorter += ".new";
    {
        std::ofstream out(shorter, std::ios::binary | std::ios::trunc);
        for (const std::string& line : lines) {
            out << line << '\n';
        }
        if (!out.flush()) {
            std::error_code ignored;
            std::filesystem::remove(shorter, ignored);
            return;
        }
    }
    std::error_code ignored;
    std::filesystem::rename(shorter, file, ignored);
}

}  // namespace

// Writes into last-trace.txt up to its bound, then one line saying the rest was left out; with no
// file open (between transfers, or one that could not be created) it takes everything and keeps
// nothing.
class TransferHistory::BoundedBuffer : public std::streambuf {
  public:
    explicit BoundedBuffer(std::uintmax_t maxBytes) : maxBytes_(maxBytes) {}

    // The file is created with the first byte written.
    void arm(std::filesystem::path path, std::string heading) {
        close();
        path_ = std::move(path);
        heading_ = std::move(heading);
        armed_ = !path_.empty();
        written_ = 0;
        cut_ = false;
    }
    void close() {
        armed_ = false;
        if (file_.is_open()) {
            file_.close();
        }
    }

  protected:
    int_type overflow(int_type c) override {
        if (c != traits_type::eof()) {
            const char byte = traits_type::to_char_type(c);
            (void)xsputn(&byte, 1);
        }
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* text, std::streamsize n) override {
        if (armed_ && !file_.is_open()) {
            file_.open(path_, std::ios::binary | std::ios::trunc);
            file_ << heading_ << '\n';
        }
        if (!armed_ || !file_.is_open() || cut_) {
            return n;
        }
        const auto size = static_cast<std::uintmax_t>(n);
        if (written_ + size > maxBytes_) {
            cut_ = true;
            file_ << "\n... the trace was cut here: it had reached " << maxBytes_ << " bytes\n";
            file_.flush();
            return n;
        }
        file_.write(text, n);
        written_ += size;
        return n;
    }
    int sync() override {
        if (file_.is_open()) {
            file_.flush();
        }
        return 0;
    }

  private:
    std::uintmax_t maxBytes_;
    std::filesystem::path path_;
    std::string heading_;
    bool armed_ = false;
    std::ofstream file_;
    std::uintmax_t written_ = 0;
    bool cut_ = false;
};

namespace {

std::string dateTimeText(const std::tm& localTime) {
    char stamp[80];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d", localTime.tm_year + 1900,
                  localTime.tm_mon + 1, localTime.tm_mday, localTime.tm_hour, localTime.tm_min,
                  localTime.tm_sec);
    return stamp;
}

}  // namespace

std::string historyLine(const TransferRecord& record, const std::tm& localTime) {
    const std::string stamp = dateTimeText(localTime);
    std::string port = "COM" + std::to_string(record.port);
    if (!record.device.empty()) {
        port += " " + record.device;
    }
    std::string line = stamp + '\t' + oneField(record.command) + '\t' + oneField(port) + '\t' +
                       oneField(record.file) + '\t' + oneField(record.result) + '\t' + oneField(record.count);
    if (!record.detail.empty()) {
        line += '\t' + oneField(record.detail);
    }
    return line;
}

std::filesystem::path historyFolder() {
    if (std::filesystem::path named = fromEnvironment("FORMWELL_STATE_DIR"); !named.empty()) {
        return named;
    }
#ifdef _WIN32
    if (std::filesystem::path local = fromEnvironment("LOCALAPPDATA"); !local.empty()) {
        return local / "Formwell";
    }
    return {};
#else
    if (std::filesystem::path state = fromEnvironment("XDG_STATE_HOME"); state.is_absolute()) {
        return state / "formwell";
    }
    if (std::filesystem::path home = fromEnvironment("HOME"); !home.empty()) {
        return home / ".local" / "state" / "formwell";
    }
    return {};
#endif
}

TransferHistory::TransferHistory(std::filesystem::path folder, std::uintmax_t historyMaxBytes,
                                 std::uintmax_t traceMaxBytes)
    : folder_(std::move(folder)),
      historyMaxBytes_(historyMaxBytes),
      traceBuffer_(std::make_unique<BoundedBuffer>(traceMaxBytes)),
      traceStream_(std::make_unique<std::ostream>(traceBuffer_.get())) {}

TransferHistory::~TransferHistory() {
    endTrace();
}

void TransferHistory::record(const TransferRecord& record) {
    this->record(record, localNow());
}

void TransferHistory::record(const TransferRecord& record, const std::tm& localTime) {
    if (folder_.empty()) {
        return;
    }
    std::error_code error;
    std::filesystem::create_directories(folder_, error);
    const std::filesystem::path file = folder_ / kHistoryFileName;
    const std::string line = historyLine(record, localTime) + '\n';
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (!error && size + line.size() > historyMaxBytes_) {
        trimHistory(file, historyMaxBytes_ / 2);
    }
    std::ofstream out(file, std::ios::binary | std::ios::app);
    out << line;
}

void TransferHistory::beginTrace(std::string_view command) {
    traceBeganMs_ = steadyMs();
    if (folder_.empty()) {
        return;
    }
    std::error_code error;
    std::filesystem::create_directories(folder_, error);
    traceBuffer_->arm(folder_ / kTraceFileName,
                      "Formwell: " + std::string(command) + ", " + dateTimeText(localNow()));
}

void TransferHistory::endTrace() {
    traceStream_->flush();
    traceBuffer_->close();
}

std::ostream& TransferHistory::traceStream() {
    return *traceStream_;
}

std::int64_t TransferHistory::traceMs() const {
    return steadyMs() - traceBeganMs_;
}

}  // namespace formwell::link
