#include "load_progress.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "child_process.h"

namespace formwell::cli {

namespace {

// Back to the start of the line, then clear to its end.
constexpr const char* kRewriteLine = "\r\x1b[K";
constexpr std::size_t kTerminalBarWidth = 24;

}  // namespace

std::string clockText(std::chrono::steady_clock::duration elapsed) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
    char text[32];
    if (seconds >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                      static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                      static_cast<long long>(seconds % 60));
    }
    return text;
}

std::string loadStatusText(const link::LoadSnapshot& snapshot, std::uint64_t imageBytes,
                           std::size_t barWidth) {
    const std::string clock = clockText(snapshot.elapsed);
    if (snapshot.percent < 0.0) {
        return (snapshot.cancelRequested ? "stopping ...  " : "waiting for the terminal ...  ") + clock;
    }
    const double percent = std::min(snapshot.percent, 100.0);
    std::string text;
    if (barWidth > 0) {
        const auto filled =
            static_cast<std::size_t>(std::lround(percent * static_cast<double>(barWidth) / 100.0));
        text = "[" + std::string(filled, '#') + std::string(barWidth - filled, '-') + "]  ";
    }
    char share[16];
    std::snprintf(share, sizeof share, "%3.0f %%", percent);
    text += std::string(share) + "  " + clock;
    const double seconds = std::chrono::duration<double>(snapshot.elapsed).count();
    if (imageBytes > 0 && seconds > 0.5) {
        // The share counts records, so this is the image's text per second, near enough.
        const double rate = percent / 100.0 * static_cast<double>(imageBytes) / seconds;
        char rateText[32];
        std::snprintf(rateText, sizeof rateText, "  %.1f KiB/s", rate / 1024.0);
        text += rateText;
    }
    if (snapshot.cancelRequested) {
        text += "  stopping ...";
    }
    return text;
}

ConsoleLoadProgress::ConsoleLoadProgress(std::ostream& err, bool terminal, std::string label,
                                         std::uint64_t imageBytes)
    : err_(err), terminal_(terminal), label_(std::move(label)), imageBytes_(imageBytes) {}

void ConsoleLoadProgress::show(const link::LoadSnapshot& snapshot) {
    if (terminal_) {
        const std::string text = loadStatusText(snapshot, imageBytes_, kTerminalBarWidth);
        if (text != lastText_ || !lineOpen_) {  // the line is redrawn only when it changes
            err_ << kRewriteLine << label_ << ": " << text << std::flush;
            lastText_ = text;
            lineOpen_ = true;
        }
        return;
    }
    // Plain lines: once the terminal has answered with a first share, then at each quarter.
    if (snapshot.percent < 0.0) {
        return;
    }
    const int quarter = static_cast<int>(std::min(snapshot.percent, 100.0) / 25.0);
    if (quarter < nextQuarter_) {
        return;
    }
    err_ << label_ << ": " << loadStatusText(snapshot, imageBytes_, 0) << '\n' << std::flush;
    nextQuarter_ = quarter + 1;
}

void ConsoleLoadProgress::finish(const link::LoadSnapshot& snapshot) {
    if (terminal_) {
        show(snapshot);
        err_ << '\n' << std::flush;
        lineOpen_ = false;
        return;
    }
    err_ << label_ << ": ended after " << clockText(snapshot.elapsed) << '\n' << std::flush;
}

void ConsoleLoadProgress::note(const std::string& text) {
    if (lineOpen_) {
        err_ << '\n';
        lineOpen_ = false;
    }
    err_ << text << '\n' << std::flush;
}

void ProgressChannel::write(const std::string& line) {
    writeAll(fd_, line + "\n");
}

void ProgressChannel::progress(const link::LoadSnapshot& snapshot) {
    // A line per tenth of a percent at most: the station redraws at its own pace anyway.
    if (std::abs(snapshot.percent - lastPercent_) < 0.1) {
        return;
    }
    lastPercent_ = snapshot.percent;
    char text[64];
    std::snprintf(text, sizeof text, "progress %.1f %lld", snapshot.percent,
                  static_cast<long long>(
                      std::chrono::duration_cast<std::chrono::milliseconds>(snapshot.elapsed).count()));
    write(text);
}

void ProgressChannel::cancelling() {
    write("cancelling");
}

void ProgressChannel::result(std::int32_t result) {
    write("result " + std::to_string(result));
}

std::optional<ChannelEvent> parseChannelLine(const std::string& line) {
    std::istringstream in(line);
    std::string word;
    in >> word;
    ChannelEvent event;
    if (word == "progress" && (in >> event.percent >> event.elapsedMs)) {
        event.kind = ChannelEvent::Kind::Progress;
        return event;
    }
    if (word == "cancelling") {
        event.kind = ChannelEvent::Kind::Cancelling;
        return event;
    }
    if (word == "result" && (in >> event.result)) {
        event.kind = ChannelEvent::Kind::Result;
        return event;
    }
    return std::nullopt;
}

}  // namespace formwell::cli
