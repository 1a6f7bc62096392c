// A comrig on a virtual clock, with a scripted terminal on the other end, for the link layer's tests
// (and the window's and the console's). Pauses advance the clock instead of sleeping; bytes from the
// terminal arrive at given virtual times; ComReadBuf follows the library's contract (wait per byte,
// terminator, EOT first, max bytes) in virtual time. Every call is logged with its time.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formwell/link/comrig_table.h"

namespace formwell::testing {

class FakeComrig {
  public:
    struct Call {
        std::int64_t atMs;
        std::string text;  // "ComOpen(com,1,19200,8,1,1,16384,16384)=0", "ComPutc(1,0x01)=1"
    };

    // The terminal's side: called with each byte the PC sends, at the virtual time it was sent.
    std::function<void(char byte)> terminal;

    // Bytes from the terminal, arriving `delayMs` after now (all at that moment).
    void arrive(std::string_view bytes, std::int64_t delayMs = 0);
    // One byte after another, `gapMs` apart, the first `delayMs` from now.
    void arriveSlowly(std::string_view bytes, std::int64_t delayMs, std::int64_t gapMs);

    // Faults.
    std::int32_t openResult = 0;
    // ComWrite's result for a write of n bytes (only the first result bytes reach the terminal).
    std::function<std::int32_t(std::int32_t n)> writeResult;
    // Replaces ComReadBuf's own result (the buffer is left as the read filled it).
    std::function<std::optional<std::int32_t>(int readNumber)> readResult;
    // Calls of these functions raise what the binding would: error 453 for the named one.
    std::string missingFunction;
    // The line goes (the cradle's USB adapter pulled out) now: what arrived before can still be read,
    // then ComGetc gives -8; writes and frame reads give -1, and nothing more arrives.
    void loseLine();

    link::ComrigTable table();

    std::int64_t now() const { return now_; }
    void advance(std::int64_t ms) { now_ += ms; }
    bool portOpen() const { return open_; }
    const std::vector<Call>& calls() const { return calls_; }
    void forgetCalls() { calls_.clear(); }
    // The call texts only, or just the names ("ComOpen", "ComSleepMS", ...).
    std::vector<std::string> callTexts() const;
    std::vector<std::string> callNames() const;
    std::int64_t countOf(std::string_view name) const;
    // Everything the PC sent, in order.
    const std::string& sent() const { return sent_; }

  private:
    struct Incoming {
        std::int64_t atMs;
        char byte;
    };
    void log(std::string text);
    void deliver(std::string_view bytes);
    std::optional<char> byteBy(std::int64_t deadlineMs);  // takes the next byte if it arrives in time
    std::int32_t readBuf(char* buf, std::int32_t terminator, std::int32_t max, std::int32_t wait);
    void checkPresent(const char* name) const;

    std::int64_t now_ = 0;
    bool open_ = false;
    std::int32_t port_ = 0;
    bool lineLost_ = false;
    std::deque<Incoming> incoming_;
    std::vector<Call> calls_;
    std::string sent_;
    int reads_ = 0;
};

// A terminal receiving an INI file: ACK to SOH (after `ignoredSoh` SOHs), to each frame whose check
// byte is right (when `ackFrames`), and to EOT (when `ackEot`), each `answerDelayMs` after the byte
// that completes what it answers. The lines of the good frames it received are kept.
struct IniTerminal {
    int ignoredSoh = 0;
    bool ackFrames = true;
    bool ackEot = true;
    std::int64_t answerDelayMs = 5;
    char answer = 0x06;  // another byte here (a NAK, say) is no acknowledgement

    std::vector<std::string> lines;
    int sohSeen = 0;
    int framesSeen = 0;
    int eotSeen = 0;

    void attach(FakeComrig& comrig);

  private:
    std::string frame_;
    bool inFrame_ = false;
    bool awaitCheck_ = false;
};

// A terminal sending its records: after ACKing the SOH it sends each item of `script`, the next one
// when the PC acknowledges, or `resendMs` later when the item expects no ACK (a bad frame, noise).
struct DataTerminal {
    struct Item {
        std::string bytes;
        bool expectsAck = true;
    };
    std::vector<Item> script;
    std::int64_t gapMs = 10;       // from the PC's ACK to the next item
    std::int64_t resendMs = 1000;  // after an item nobody acknowledges
    int acksSeen = 0;
    bool answerSoh = true;

    // Items for the script: a frame with its right check byte, or a wrong one; EOT.
    static Item frame(std::string_view record);
    static Item badFrame(std::string_view record);
    static Item eot();

    void attach(FakeComrig& comrig);

  private:
    void sendNext(FakeComrig& comrig, std::int64_t delayMs);
    std::size_t next_ = 0;
    bool started_ = false;
};

}  // namespace formwell::testing
