#include "formwell/testing/fake_comrig.h"

#include <algorithm>
#include <cstdio>

#include "formwell/common/app_error.h"

namespace formwell::testing {

namespace {

constexpr char kSoh = 0x01;
constexpr char kStx = 0x02;
constexpr char kEtx = 0x03;
constexpr char kEot = 0x04;
constexpr char kAck = 0x06;
// The library gives a frame's check byte this long to arrive before a frame read returns.
constexpr std::int64_t kCheckByteGraceMs = 50;

std::string hex(char c) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned char>(c));
    return text;
}

// Written here rather than taken from the product, so that a wrong check byte in the product
// cannot hide behind the same wrong byte in the test.
char xorOf(std::string_view bytes) {
    unsigned char x = 0;
    for (const char c : bytes) {
        x = static_cast<unsigned char>(x ^ static_cast<unsigned char>(c));
    }
    return static_cast<char>(x);
}

}  // namespace

void FakeComrig::arrive(std::string_view bytes, std::int64_t delayMs) {
    arriveSlowly(bytes, delayMs, 0);
}

void FakeComrig::arriveSlowly(std::string_view bytes, std::int64_t delayMs, std::int64_t gapMs) {
    std::int64_t at = now_ + delayMs;
    for (const char c : bytes) {
        // Arrivals stay in time order even when scheduled out of order.
        const auto it = std::upper_bound(incoming_.begin(), incoming_.end(), at,
                                         [](std::int64_t t, const Incoming& in) { return t < in.atMs; });
        incoming_.insert(it, Incoming{at, c});
        at += gapMs;
    }
}

void FakeComrig::loseLine() {
    lineLost_ = true;
    incoming_.erase(std::find_if(incoming_.begin(), incoming_.end(),
                                 [this](const Incoming& in) { return in.atMs > now_; }),
                    incoming_.end());
}

void FakeComrig::log(std::string text) {
    calls_.push_back(Call{now_, std::move(text)});
}

void FakeComrig::deliver(std::string_view bytes) {
    sent_.append(bytes);
    for (const char c : bytes) {
        if (terminal) {
            terminal(c);
        }
    }
}

std::optional<char> FakeComrig::byteBy(std::int64_t deadlineMs) {
    if (incoming_.empty() || incoming_.front().atMs > deadlineMs) {
        return std::nullopt;
    }
    const Incoming in = incoming_.front();
    incoming_.pop_front();
    now_ = std::max(now_, in.atMs);
    return in.byte;
}

void FakeComrig::checkPresent(const char* name) const {
    if (missingFunction == name) {
        throw AppError{errnum::kFunctionNotFound, describeError(errnum::kFunctionNotFound) + ": " + name};
    }
}

std::int32_t FakeComrig::readBuf(char* buf, std::int32_t terminator, std::int32_t max, std::int32_t wait) {
    const std::int64_t waitMs = std::int64_t{wait} * 1000;
    std::int64_t deadline = now_ + waitMs;
    std::int32_t count = 0;
    for (;;) {
        const std::optional<char> byte = byteBy(deadline);
        if (!byte) {
            now_ = deadline;
            return 3;
        }
        buf[count++] = *byte;
        if (count == 1 && *byte == kEot) {
            return 3;
        }
        if (static_cast<unsigned char>(*byte) == terminator) {
            buf[count] = '\0';
            // The check byte is left waiting, but the read returns only once it has arrived.
            if (!incoming_.empty() && incoming_.front().atMs <= now_ + kCheckByteGraceMs) {
                now_ = std::max(now_, incoming_.front().atMs);
            } else {
                now_ += kCheckByteGraceMs;
            }
            return 2;
        }
        if (count == max) {
            return 1;
        }
        deadline = now_ + waitMs;
    }
}

link::ComrigTable FakeComrig::table() {
    link::ComrigTable t;
    t.ComOpen = [this](const char* name, std::int32_t port, std::int32_t baud, std::int32_t dataBits,
                       std::int32_t parity, std::int32_t stopBits, std::int32_t inQueue,
                       std::int32_t outQueue) {
        checkPresent("ComOpen");
        open_ = openResult >= 0;
        port_ = port;
        log("ComOpen(" + std::string(name) + "," + std::to_string(port) + "," + std::to_string(baud) + "," +
            std::to_string(dataBits) + "," + std::to_string(parity) + "," + std::to_string(stopBits) + "," +
            std::to_string(inQueue) + "," + std::to_string(outQueue) + ")=" + std::to_string(openResult));
        return openResult;
    };
    t.ComSetFlow = [this](std::int32_t port, std::int32_t mode) {
        checkPresent("ComSetFlow");
        log("ComSetFlow(" + std::to_string(port) + "," + std::to_string(mode) + ")=0");
        return 0;
    };
    t.ComClose = [this](std::int32_t port) {
        checkPresent("ComClose");
        open_ = false;
        log("ComClose(" + std::to_string(port) + ")=0");
        return 0;
    };
    t.ComFlush = [this](std::int32_t port) {
        checkPresent("ComFlush");
        while (!incoming_.empty() && incoming_.front().atMs <= now_) {
            incoming_.pop_front();
        }
        log("ComFlush(" + std::to_string(port) + ")=0");
        return 0;
    };
    t.ComFlushImmediate = [this](std::int32_t port) {
        checkPresent("ComFlushImmediate");
        log("ComFlushImmediate(" + std::to_string(port) + ")=0");
        return 0;
    };
    t.ComSleepMS = [this](std::int32_t port, std::int32_t ms) {
        checkPresent("ComSleepMS");
        log("ComSleepMS(" + std::to_string(port) + "," + std::to_string(ms) + ")=0");
        now_ += std::max<std::int32_t>(ms, 0);
        return 0;
    };
    t.ComPutc = [this](std::int32_t port, std::int32_t byteValue) {
        checkPresent("ComPutc");
        const std::int32_t result = open_ && !lineLost_ ? 1 : -1;
        log("ComPutc(" + std::to_string(port) + "," + hex(static_cast<char>(byteValue)) +
            ")=" + std::to_string(result));
        if (result == 1) {
            deliver(std::string(1, static_cast<char>(byteValue)));
        }
        return result;
    };
    t.ComGetc = [this](std::int32_t port) {
        checkPresent("ComGetc");
        const std::optional<char> byte = open_ ? byteBy(now_) : std::nullopt;
        const std::int32_t result = byte        ? static_cast<unsigned char>(*byte)
                                    : !open_    ? -7
                                    : lineLost_ ? -8
                                                : -1;
        log("ComGetc(" + std::to_string(port) + ")=" + std::to_string(result));
        return result;
    };
    t.ComWrite = [this](std::int32_t port, const char* buf, std::int32_t n) {
        checkPresent("ComWrite");
        std::int32_t result = writeResult ? writeResult(n) : n;
        if (!open_ || lineLost_) {
            result = -1;
        }
        log("ComWrite(" + std::to_string(port) + "," + std::to_string(n) +
            " bytes)=" + std::to_string(result));
        if (result > 0) {
            deliver(std::string_view(buf, static_cast<std::size_t>(std::min(result, n))));
        }
        return result;
    };
    t.ComReadBuf = [this](std::int32_t port, char* buf, std::int32_t terminator, std::int32_t max,
                          std::int32_t wait) {
        checkPresent("ComReadBuf");
        const std::int64_t start = now_;
        std::int32_t result = -1;
        if (open_ && lineLost_) {
            // What arrived before the loss is read; where the line would have to be waited on, it fails.
            result = readBuf(buf, terminator, max, 0);
            result = result == 3 ? -1 : result;
        } else if (open_) {
            result = readBuf(buf, terminator, max, wait);
        }
        ++reads_;
        if (readResult) {
            if (std::optional<std::int32_t> forced = readResult(reads_)) {
                result = *forced;
            }
        }
        calls_.push_back(Call{start, "ComReadBuf(" + std::to_string(port) + "," + std::to_string(terminator) +
                                         "," + std::to_string(max) + "," + std::to_string(wait) +
                                         ")=" + std::to_string(result)});
        return result;
    };
    return t;
}

std::vector<std::string> FakeComrig::callTexts() const {
    std::vector<std::string> texts;
    for (const Call& c : calls_) {
        texts.push_back(c.text);
    }
    return texts;
}

std::vector<std::string> FakeComrig::callNames() const {
    std::vector<std::string> names;
    for (const Call& c : calls_) {
        names.push_back(c.text.substr(0, c.text.find('(')));
    }
    return names;
}

std::int64_t FakeComrig::countOf(std::string_view name) const {
    const std::vector<std::string> names = callNames();
    return std::count(names.begin(), names.end(), std::string(name));
}

void IniTerminal::attach(FakeComrig& comrig) {
    comrig.terminal = [this, &comrig](char c) {
        if (awaitCheck_) {
            awaitCheck_ = false;
            ++framesSeen;
            if (c == xorOf(frame_)) {
                lines.push_back(frame_.substr(1, frame_.size() - 4));  // STX .. CR LF ETX
                if (ackFrames) {
                    comrig.arrive(std::string(1, answer), answerDelayMs);
                }
            }
            frame_.clear();
            return;
        }
        if (inFrame_) {
            frame_.push_back(c);
            if (c == kEtx) {
                inFrame_ = false;
                awaitCheck_ = true;
            }
            return;
        }
        if (c == kStx) {
            inFrame_ = true;
            frame_.assign(1, c);
        } else if (c == kSoh) {
            if (++sohSeen > ignoredSoh) {
                comrig.arrive(std::string(1, answer), answerDelayMs);
            }
        } else if (c == kEot) {
            ++eotSeen;
            if (ackEot) {
                comrig.arrive(std::string(1, answer), answerDelayMs);
            }
        }
    };
}

DataTerminal::Item DataTerminal::frame(std::string_view record) {
    std::string bytes(1, kStx);
    bytes.append(record);
    bytes.append("\r\n");
    bytes.push_back(kEtx);
    bytes.push_back(xorOf(bytes));
    return Item{bytes, true};
}

DataTerminal::Item DataTerminal::badFrame(std::string_view record) {
    Item item = frame(record);
    item.bytes.back() = static_cast<char>(item.bytes.back() ^ 0x5A);
    item.expectsAck = false;
    return item;
}

DataTerminal::Item DataTerminal::eot() {
    return Item{std::string(1, kEot), false};
}

void DataTerminal::sendNext(FakeComrig& comrig, std::int64_t delayMs) {
    while (next_ < script.size()) {
        const Item& item = script[next_++];
        comrig.arrive(item.bytes, delayMs);
        if (item.expectsAck) {
            return;
        }
        delayMs += resendMs;
    }
}

void DataTerminal::attach(FakeComrig& comrig) {
    comrig.terminal = [this, &comrig](char c) {
        if (c == kSoh && !started_ && answerSoh) {
            started_ = true;
            comrig.arrive(std::string(1, kAck), 5);
            sendNext(comrig, 5 + gapMs);
        } else if (c == kAck && started_) {
            ++acksSeen;
            sendNext(comrig, gapMs);
        }
    };
}

}  // namespace formwell::testing
