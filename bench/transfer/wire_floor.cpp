#include "wire_floor.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace bench {

namespace {

// Download's opening: the hex-block loader's first query and the identification query, each followed
// by a 100 ms pause; then up to 10 answer bytes are read. A shorter answer ends the read one read
// interval (100 ms) after it was taken. A framed terminal then gets the stray-byte read, which takes
// its whole time-out (100 ms + 100 ms for its one byte), and a quiet window.
constexpr double kQueryPause = 0.100;
constexpr std::size_t kFirstAnswerBytes = 10;
constexpr double kReadInterval = 0.100;
constexpr double kStrayByteRead = 0.200;
// The loader throws away what a terminal is still sending until 20 ms pass without a byte: once
// after the stray byte, after each identification or presence check, before and after the flash query.
constexpr double kQuietWindow = 0.020;

// Framed protocol.
constexpr double kBlockErasePause = 0.700;
constexpr double kFirstDisplayPause = 0.100;
constexpr double kAfterOpenMarkers = 0.500;
constexpr double kAfterCloseFrame = 0.050;
// Hex-block protocol: each command and line is followed by a 100 ms wait before its ACK is read, the
// final command by another 100 ms.
constexpr double kHexBlockAnswerWait = 0.100;
constexpr double kAfterFinalCommand = 0.100;
// Line protocol: 1000 ms after the line-count frame.
constexpr double kAfterLineCount = 1.000;
// Link: SOH 100 ms after the pause begins, its ACK read 100 ms later; each frame's ACK read 100 ms
// after the frame was sent; EOT after 20 ms, its ACK read 150 ms later. Receiving: the check byte is
// read 1 ms after its frame, and each ACK is followed by a 50 ms pause.
constexpr double kSohTry = 0.200;
constexpr double kFrameAckWait = 0.100;
constexpr double kEotTry = 0.170;
constexpr double kCheckBytePause = 0.001;
constexpr double kAfterAckPause = 0.050;

struct Exchange {
    const WireMessage* sent = nullptr;
    std::size_t answerBytes = 0;
};

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// Each message from the host with the bytes the terminal answered before the host's next message.
std::vector<Exchange> exchanges(const std::vector<WireMessage>& messages, Floor& floor) {
    std::vector<Exchange> list;
    for (const WireMessage& m : messages) {
        if (m.fromHost) {
            list.push_back({&m, 0});
        } else if (!list.empty()) {
            list.back().answerBytes += m.bytes;
        } else {
            floor.problem = "the terminal spoke first: " + m.event;
        }
    }
    return list;
}

class Tally {
  public:
    Tally(const std::vector<WireMessage>& messages, double characterSeconds) : c_(characterSeconds) {
        for (const WireMessage& m : messages) {
            (m.fromHost ? floor_.hostBytes : floor_.terminalBytes) += m.bytes;
        }
    }
    double wire(std::size_t bytes) const { return static_cast<double>(bytes) * c_; }
    // A fixed wait that nothing on the wire shortens or overlaps.
    void wait(double seconds) {
        floor_.seconds += seconds;
        floor_.waitSeconds += seconds;
    }
    // Bytes that the host waits for on the wire.
    void onWire(std::size_t bytes) { floor_.seconds += wire(bytes); }
    // A wait that runs while `bytes` cross the wire: whichever is longer.
    void waitOverlapping(double seconds, std::size_t bytes) {
        floor_.seconds += std::max(seconds, wire(bytes));
        floor_.waitSeconds += seconds;
    }
    Floor& floor() { return floor_; }
    Floor result() const { return floor_; }

  private:
    double c_;
    Floor floor_;
};

}  // namespace

bool readWireLog(const std::filesystem::path& path, std::vector<WireMessage>& messages,
                 std::string& problem) {
    std::ifstream in(path);
    if (!in) {
        problem = "no wire log at " + path.string();
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        long long us = 0;
        std::string direction;
        WireMessage m;
        if (!(fields >> us >> direction >> m.bytes) || (direction != "rx" && direction != "tx")) {
            problem = "unreadable wire log line: " + line;
            return false;
        }
        m.fromHost = direction == "rx";
        std::getline(fields >> std::ws, m.event);
        messages.push_back(std::move(m));
    }
    return true;
}

Floor framedFloor(const std::vector<WireMessage>& messages, double characterSeconds) {
    Tally tally(messages, characterSeconds);
    const std::vector<Exchange> list = exchanges(messages, tally.floor());
    if (list.size() < 3 || !startsWith(list[0].sent->event, "QUERY XLT 0x0B") ||
        list[1].sent->event != "IDENT-QUERY") {
        tally.floor().problem = "the log does not start with the two queries of a framed load";
        return tally.result();
    }
    // The terminal's identification in answer to the second query arrives within its pause.
    tally.wait(kQueryPause);
    tally.waitOverlapping(kQueryPause, list[1].sent->bytes + list[1].answerBytes);
    tally.wait(kStrayByteRead + kQuietWindow);
    for (std::size_t i = 2; i < list.size(); ++i) {
        const std::string& event = list[i].sent->event;
        const std::size_t both = list[i].sent->bytes + list[i].answerBytes;
        if (event == "IDENT-QUERY") {
            tally.onWire(both);
            tally.wait(kQuietWindow);
        } else if (event == "PRESENCE") {
            // The second half of the identification, already counted; these bytes go out meanwhile.
        } else if (startsWith(event, "FRAME DLE FLASHQUERY")) {
            tally.wait(kQuietWindow);
            tally.onWire(both);
            tally.wait(kQuietWindow);
        } else if (startsWith(event, "FRAME DLE ERASE")) {
            tally.waitOverlapping(kBlockErasePause, both);
        } else if (startsWith(event, "FRAME DLE DISPLAY \"\\f0% ready.")) {
            tally.waitOverlapping(kFirstDisplayPause, both);
        } else if (startsWith(event, "FRAME DLE CLOSE") && i + 1 == list.size()) {
            // Written, then 50 ms, and nothing more is read.
            tally.waitOverlapping(kAfterCloseFrame, list[i].sent->bytes);
        } else if (startsWith(event, "FRAME DLE CLOSE")) {
            tally.onWire(both);
            tally.wait(kAfterOpenMarkers);
        } else {
            tally.onWire(both);
        }
    }
    return tally.result();
}

Floor hexBlockFloor(const std::vector<WireMessage>& messages, double characterSeconds) {
    Tally tally(messages, characterSeconds);
    const std::vector<Exchange> list = exchanges(messages, tally.floor());
    if (list.size() < 3 || !startsWith(list[0].sent->event, "CMD XLT 0x0B") ||
        list[1].sent->event != "IDENT-QUERY") {
        tally.floor().problem = "the log does not start with the two queries of a hex-block load";
        return tally.result();
    }
    tally.waitOverlapping(kQueryPause, list[0].sent->bytes + list[0].answerBytes);
    tally.wait(kQueryPause);
    if (list[0].answerBytes < kFirstAnswerBytes) {
        tally.wait(kReadInterval);
    }
    for (std::size_t i = 2; i < list.size(); ++i) {
        tally.waitOverlapping(kHexBlockAnswerWait, list[i].sent->bytes + list[i].answerBytes);
        if (startsWith(list[i].sent->event, "CMD XLT 0x0A")) {
            tally.wait(kAfterFinalCommand);
        }
    }
    return tally.result();
}

Floor lineProtocolFloor(const std::vector<WireMessage>& messages, double characterSeconds) {
    Tally tally(messages, characterSeconds);
    for (const Exchange& e : exchanges(messages, tally.floor())) {
        const std::size_t both = e.sent->bytes + e.answerBytes;
        if (e.sent->event.find("\"5OT") != std::string::npos) {
            tally.waitOverlapping(kAfterLineCount, both);
        } else {
            tally.onWire(both);
        }
    }
    return tally.result();
}

Floor iniSendFloor(const std::vector<WireMessage>& messages, double characterSeconds) {
    Tally tally(messages, characterSeconds);
    for (const Exchange& e : exchanges(messages, tally.floor())) {
        if (e.sent->event == "SOH") {
            tally.wait(kSohTry);
        } else if (e.sent->event == "EOT") {
            tally.wait(kEotTry);
        } else {
            tally.waitOverlapping(kFrameAckWait, e.sent->bytes + e.answerBytes);
        }
    }
    return tally.result();
}

// The terminal sends each record as soon as it has the host's ACK for the one before (its first right
// after its ACK of the SOH), so the floor is a timeline: the host's pauses against the frames' arrival.
Floor dataReceiveFloor(const std::vector<WireMessage>& messages, double characterSeconds) {
    Tally tally(messages, characterSeconds);
    Floor& floor = tally.floor();
    const double c = characterSeconds;
    double now = 0;           // the host's clock
    double arrivesAt = 0;     // when the terminal's next message is whole at the host
    double terminalFree = 0;  // when the terminal may send its next message
    bool linked = false;
    for (const WireMessage& m : messages) {
        if (m.fromHost && m.event == "SOH") {
            const double sohAt = now + kSohTry / 2;
            terminalFree = sohAt + c;
            now += kSohTry;
            floor.waitSeconds += kSohTry;
        } else if (m.fromHost) {  // the host's ACK of a record
            floor.waitSeconds += kCheckBytePause + kAfterAckPause;
            now = std::max(now, arrivesAt) + kCheckBytePause;
            terminalFree = now + c;
            now += kAfterAckPause;
        } else if (!linked) {  // the ACK of the SOH
            linked = true;
            terminalFree += c;
        } else {  // a record or the closing EOT
            arrivesAt = terminalFree + static_cast<double>(m.bytes) * c;
            terminalFree = arrivesAt;
        }
    }
    floor.seconds = std::max(now, arrivesAt);
    if (!linked) {
        floor.problem = "the terminal never acknowledged the SOH";
    }
    return floor;
}

}  // namespace bench
