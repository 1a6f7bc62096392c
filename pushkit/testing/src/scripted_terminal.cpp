#include "pushkit/testing/scripted_terminal.h"

#include <algorithm>
#include <utility>

namespace pushkit::testing {

namespace {

constexpr std::uint8_t kAck = 0x06;

constexpr std::uint64_t kNsPerMs = 1'000'000;

// How long one character takes on the line: start bit, data bits, parity bit, stop bits. Counted in
// half bits for the one and a half stop bits.
std::uint64_t characterNs(const LineSettings& line) {
    const std::uint64_t stopHalfBits = line.stopBits == kStopTwo          ? 4
                                       : line.stopBits == kStopOneAndHalf ? 3
                                                                          : 2;
    const std::uint64_t halfBits =
        2 * (1 + line.dataBits + (line.parity != kParityNone ? 1 : 0)) + stopHalfBits;
    return halfBits * 1'000'000'000ULL / (2 * std::max<std::uint64_t>(line.baud, 1));
}

}  // namespace

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

class ScriptedPort : public Port {
  public:
    explicit ScriptedPort(ScriptedTerminal& terminal) : t_(terminal) {}
    ~ScriptedPort() override { t_.record(EventKind::Close); }

    std::size_t read(std::uint8_t* buf, std::size_t n) override { return t_.read(buf, n); }
    bool write(const std::uint8_t* buf, std::size_t n) override { return t_.write(buf, n); }
    void drain() override {
        t_.record(EventKind::Drain);
        waitForTheLine();
    }
    Discarded discardUntilQuiet() override { return t_.discardUntilQuiet(); }
    void setBaud(std::uint32_t baud) override {
        t_.record(EventKind::SetBaud).value = baud;
        t_.line_.baud = baud;
    }
    void setLine(const LineSettings& settings) override {
        Event& e = t_.record(EventKind::SetLine);
        e.value = settings.baud;
        e.line = settings;
        t_.line_ = settings;
    }
    void flushAndPurge() override {
        t_.record(EventKind::FlushPurge);
        waitForTheLine();
        // Only what has already arrived is thrown away; later answers are still on their way.
        std::erase_if(t_.incoming_, [&](const auto& p) { return p.atMs <= t_.nowMs_; });
    }
    void setDtr(bool on) override { t_.record(EventKind::SetDtr).on = on; }
    void setRts(bool on) override { t_.record(EventKind::SetRts).on = on; }
    bool cts() override {
        const bool on = t_.cts_ ? t_.cts_(t_.ctsQueries_) : true;
        ++t_.ctsQueries_;
        t_.record(EventKind::Cts).on = on;
        return on;
    }
    void sleepMs(std::uint32_t ms) override {
        t_.record(EventKind::Sleep).value = ms;
        t_.nowMs_ += ms;
    }
    std::uint64_t nowMs() override { return t_.nowMs_; }
    LocalTime localTime() override { return t_.localTime_; }

  private:
    void waitForTheLine() {
        if (t_.wireTime_) {
            t_.nowMs_ = std::max(t_.nowMs_, t_.lineFreeMs());
        }
    }

    ScriptedTerminal& t_;
};

class ScriptedOpener : public PortOpener {
  public:
    explicit ScriptedOpener(ScriptedTerminal& terminal) : t_(terminal) {}
    std::unique_ptr<Port> open(int portNumber, const LineSettings& settings) override {
        if (t_.failingOpens_ > 0) {
            --t_.failingOpens_;
            Event& e = t_.record(EventKind::OpenFailed);
            e.value = static_cast<std::uint32_t>(portNumber);
            e.line = settings;
            return nullptr;
        }
        return t_.openPort(portNumber, settings);
    }

  private:
    ScriptedTerminal& t_;
};

ScriptedTerminal::ScriptedTerminal() {
    localTime_ = {.year = 2026, .month = 12, .day = 8, .dayOfWeek = 2, .hour = 9, .minute = 30, .second = 5};
}

void ScriptedTerminal::answer(const Bytes& bytes, std::uint32_t delayMs, std::uint32_t gapMs) {
    std::uint64_t at = nowMs() + delayMs;
    if (!incoming_.empty()) {
        at = std::max(at, incoming_.back().atMs);
    }
    for (const std::uint8_t b : bytes) {
        incoming_.push_back({b, at});
        at += gapMs;
    }
}

std::unique_ptr<Port> ScriptedTerminal::openPort(int portNumber, const LineSettings& settings) {
    Event& e = record(EventKind::Open);
    e.value = static_cast<std::uint32_t>(portNumber);
    e.line = settings;
    line_ = settings;
    return std::make_unique<ScriptedPort>(*this);
}

std::unique_ptr<PortOpener> ScriptedTerminal::opener() {
    return std::make_unique<ScriptedOpener>(*this);
}

std::size_t ScriptedTerminal::read(std::uint8_t* buf, std::size_t n) {
    const std::uint64_t startMs = nowMs_;
    // The port's read rule (port.h), to the millisecond.
    const std::uint64_t deadline = nowMs_ + kReadTotalConstantMs + std::uint64_t{kReadTotalPerByteMs} * n;
    std::size_t got = 0;
    while (got < n) {
        // The first byte may come any time before the deadline; each later one within the interval.
        const std::uint64_t limit = got == 0 ? deadline : std::min(nowMs_ + kReadIntervalMs, deadline);
        if (incoming_.empty() || incoming_.front().atMs > limit) {
            nowMs_ = limit;
            break;
        }
        nowMs_ = std::max(nowMs_, incoming_.front().atMs);
        buf[got++] = incoming_.front().byte;
        incoming_.pop_front();
    }
    Event& e = record(EventKind::Read);
    e.timeMs = startMs;
    e.asked = n;
    e.bytes.assign(buf, buf + got);
    return got;
}

bool ScriptedTerminal::write(const std::uint8_t* buf, std::size_t n) {
    Bytes written(buf, buf + n);
    if (writeIndex_++ >= firstFailingWrite_) {
        record(EventKind::WriteFailed).bytes = std::move(written);
        return false;
    }
    record(EventKind::Write).bytes = written;
    std::uint64_t arrival = nowMs_;
    if (wireTime_) {
        lineFreeNs_ = std::max(lineFreeNs_, nowMs_ * kNsPerMs) + n * characterNs(line_);
        arrival = lineFreeMs();
    }
    if (responder_) {
        arrivalMs_ = arrival;
        responder_(*this, written);
        arrivalMs_ = 0;
    }
    return true;
}

std::uint64_t ScriptedTerminal::lineFreeMs() const {
    return (lineFreeNs_ + kNsPerMs - 1) / kNsPerMs;
}

Discarded ScriptedTerminal::discardUntilQuiet() {
    const std::uint64_t startMs = nowMs_;
    const std::uint64_t capMs = startMs + kDiscardTimeCapMs;
    std::uint64_t quietUntil = startMs + kQuietWindowMs;
    Discarded discarded;
    Bytes dropped;
    while (true) {
        if (dropped.size() == kDiscardByteCap) {
            discarded.capped = true;
            break;
        }
        // Like a read: a byte exactly at the end of the window still counts as arriving in it.
        const std::uint64_t limit = std::min(quietUntil, capMs);
        if (incoming_.empty() || incoming_.front().atMs > limit) {
            nowMs_ = limit;
            discarded.capped = quietUntil > capMs;
            break;
        }
        nowMs_ = std::max(nowMs_, incoming_.front().atMs);
        dropped.push_back(incoming_.front().byte);
        incoming_.pop_front();
        quietUntil = nowMs_ + kQuietWindowMs;
    }
    discarded.bytes = dropped.size();
    Event& e = record(EventKind::Discard);
    e.timeMs = startMs;
    e.bytes = std::move(dropped);
    e.on = discarded.capped;
    return discarded;
}

std::vector<Bytes> ScriptedTerminal::writes() const {
    std::vector<Bytes> result;
    for (const Event& e : log_) {
        if (e.kind == EventKind::Write) {
            result.push_back(e.bytes);
        }
    }
    return result;
}

Bytes ScriptedTerminal::writtenStream() const {
    Bytes result;
    for (const Event& e : log_) {
        if (e.kind == EventKind::Write) {
            result.insert(result.end(), e.bytes.begin(), e.bytes.end());
        }
    }
    return result;
}

std::size_t ScriptedTerminal::count(EventKind kind) const {
    return static_cast<std::size_t>(
        std::count_if(log_.begin(), log_.end(), [kind](const Event& e) { return e.kind == kind; }));
}

std::vector<std::uint32_t> ScriptedTerminal::sleeps() const {
    std::vector<std::uint32_t> result;
    for (const Event& e : log_) {
        if (e.kind == EventKind::Sleep) {
            result.push_back(e.value);
        }
    }
    return result;
}

Responder ackEverything() {
    return answerEverythingWith(kAck);
}

Responder silent() {
    return [](ScriptedTerminal&, const Bytes&) {};
}

Responder answerEverythingWith(std::uint8_t byte) {
    return [byte](ScriptedTerminal& t, const Bytes&) { t.answer({byte}); };
}

Responder silentAfter(std::size_t writes, Responder inner) {
    return [writes, inner = std::move(inner), seen = std::size_t{0}](ScriptedTerminal& t,
                                                                     const Bytes& w) mutable {
        if (seen++ < writes) {
            inner(t, w);
        }
    };
}

Responder answerTo(Bytes request, Bytes reply, Responder otherwise) {
    return [request = std::move(request), reply = std::move(reply), otherwise = std::move(otherwise)](
               ScriptedTerminal& t, const Bytes& w) {
        if (w == request) {
            t.answer(reply);
        } else if (otherwise) {
            otherwise(t, w);
        }
    };
}

Responder identifiesAs(std::string_view ident, Responder otherwise) {
    return answerTo(bytesOf("\x1bZ1\r"), bytesOf(ident), std::move(otherwise));
}

Responder answersFlashQuery(Bytes reply, Responder otherwise) {
    return answerTo({0x10, 0x02, 0x51, 0x50, 0x58, 0x05, 0x10, 0x03, 0x5D}, std::move(reply),
                    std::move(otherwise));
}

Responder perLine(Responder inner) {
    return [inner = std::move(inner), line = Bytes{}](ScriptedTerminal& t, const Bytes& w) mutable {
        line.insert(line.end(), w.begin(), w.end());
        if (!line.empty() && line.back() == '\r') {
            inner(t, line);
            line.clear();
        }
    };
}

}  // namespace pushkit::testing
