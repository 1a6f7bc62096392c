// The byte-level link the INI send and the data receive share: opening the port with the stored
// settings, single control bytes with fixed pauses, one byte read after a pause, the start and end
// handshakes, one frame sent with retries, and the frame's check byte.
//
// A frame is STX, the text of one line (8-bit characters, no line ending), CR, LF, ETX, then the
// exclusive-or of all of those bytes: "abc" travels as 02 61 62 63 0D 0A 03 66. There is no negative
// answer: anything but ACK, silence included, counts as no acknowledgement.
//
// Every comrig call goes through the ComrigTable; a call that raises (a missing library, Ctrl-C in
// formwell-cli) throws AppError to the transfer's error handler.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "formwell/common/user_interaction.h"
#include "formwell/link/comrig_table.h"
#include "formwell/link/port_settings.h"

namespace formwell::link {

inline constexpr char kSoh = 0x01;
inline constexpr char kStx = 0x02;
inline constexpr char kEtx = 0x03;
inline constexpr char kEot = 0x04;
inline constexpr char kAck = 0x06;

// The most recent result some step chose to record: comrig results as decimal text, the button code
// of a transfer's error box, or "True" once a received record was stored. Starts empty. Its only
// reader is the receive's "1-Error occured ..." message.
class LinkStatus {
  public:
    void record(std::int32_t result) { text_ = std::to_string(result); }
    void recordTrue() { text_ = "True"; }
    const std::string& text() const { return text_; }

  private:
    std::string text_;
};

// The button code a message box answers with, as the status records it (OK is 1).
std::int32_t buttonCode(Answer answer);

// Exclusive-or of every character's 8-bit code, from 0, no final inversion; NULs and framing bytes
// count like any other character.
std::int16_t frameChecksum(std::string_view text);

// STX, the line, CR, LF, ETX and the check byte of everything before it.
std::string buildFrame(std::string_view line);

// How the terminal's side is paced. The terminal needs these pauses: it polls its port between
// bytes and misses an answer read too early.
inline constexpr std::int32_t kSohPauseMs = 100;          // before each SOH
inline constexpr std::int32_t kSohAnswerPauseMs = 100;    // from the SOH to reading the answer
inline constexpr std::int32_t kEotPauseMs = 20;           // before each EOT
inline constexpr std::int32_t kEotAnswerPauseMs = 150;    // from the EOT to reading the answer
inline constexpr std::int32_t kFrameAnswerPauseMs = 100;  // from the end of a frame's write to reading
inline constexpr std::int32_t kQueueBytes = 16384;        // ComOpen's receive and send queue sizes
// The most bytes one answer is looked through for its ACK: a terminal that keeps talking cannot
// hold a try longer than that.
inline constexpr int kAnswerScanBytes = 512;

inline constexpr std::string_view kOpenFailedText = "Failure to Initialize Serial Port!";

class Link {
  public:
    Link(const ComrigTable& comrig, const PortSettings& settings, UserInteraction& ui, LinkStatus& status);

    // ComClose (in case the port is still open), then ComOpen with the settings and 16384-byte queues.
    // A negative result: "Failure to Initialize Serial Port!" (no icon, no title), with the device and
    // the reason it would not open beneath, and false; the port is not closed again. Otherwise ComSetFlow
    // with the flow mode (recorded), pending events, true. A parity column that is not N, O or E raises error
    // 13 here.
    bool openLink();

    bool sendSoh();                                    // pause 100 ms, SOH; always true
    bool sendEot();                                    // pause 20 ms, EOT; always true
    void sendAck(std::int32_t pauseMs);                // ACK, then the pause
    std::int32_t readByteAfter(std::int32_t pauseMs);  // the pause, then one ComGetc: never waits longer
    // The pause, then the bytes waiting, one ComGetc each, up to and including the first ACK (the
    // bytes after it stay: a terminal sends its first record right behind its ACK). True when an ACK
    // was among them. Never waits longer than the pause; looks at kAnswerScanBytes at most.
    bool ackAmongBytesAfter(std::int32_t pauseMs);

    // Whether a ComGetc on the open port failed (COMRIG_ERR_READ): its device went away (a USB
    // adapter pulled out) or its line hung up. Nothing can pass any more, so the handshakes and a
    // frame's tries stop there instead of using up their tries.
    bool lineLost() const { return lineLost_; }
    // After another call failed on the open port: reads what is still waiting to tell a lost line
    // from a call that merely failed. lineLost() after it.
    bool confirmLineLost();

    // SOH, events, the answer 100 ms later, events; until ACK, a lost line, or the tries are used up
    // (at least one try, about 200 ms each). True when an ACK came. A terminal that talks before its ACK is
    // heard at the first try, not one byte a try: by then it would have sent its first record again, and
    // every later ACK would answer the frame before the one it waits for.
    bool requestLink(std::int16_t tries);
    // The same with EOT and a 150 ms pause before the read (at least 170 ms a try), after dropping
    // the received bytes still waiting.
    bool releaseLink(std::int16_t tries);
    // The whole frame through ComWrite, then the answer (an ACK among the bytes that came) 100 ms after
    // the write returned, until ACK or the tries are used up. Each try first drops the received bytes still
    // waiting (ComFlush), so that only an answer to this write counts. A write that reports another count
    // than the frame's length is tried again at once, without a pause and without reading, unless the
    // write failed because the line is lost: then no try follows.
    bool sendFrame(std::string_view frame, std::int16_t tries);

    std::int32_t port() const { return settings_.PortNumber; }

  private:
    bool handshake(bool (Link::*sendByte)(), std::int32_t answerPauseMs, std::int16_t tries);
    std::int32_t getByte();  // ComGetc, noting a lost line

    const ComrigTable& comrig_;
    const PortSettings& settings_;
    UserInteraction& ui_;
    LinkStatus& status_;
    bool lineLost_ = false;
};

}  // namespace formwell::link
