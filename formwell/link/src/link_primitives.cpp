#include "formwell/link/link_primitives.h"

#include "comrig.h"
#include "open_failure_explanation.h"

namespace formwell::link {

std::int32_t buttonCode(Answer answer) {
    switch (answer) {
        case Answer::Ok:
            return 1;
        case Answer::Yes:
            return 6;
        case Answer::No:
            return 7;
        case Answer::Cancel:
            return 2;
    }
    return 1;
}

std::int16_t frameChecksum(std::string_view text) {
    std::int16_t check = 0;
    for (const char c : text) {
        check = static_cast<std::int16_t>(check ^ static_cast<unsigned char>(c));
    }
    return check;
}

std::string buildFrame(std::string_view line) {
    std::string frame;
    frame.reserve(line.size() + 6);
    frame.push_back(kStx);
    frame.append(line);
    frame.append("\r\n");
    frame.push_back(kEtx);
    frame.push_back(static_cast<char>(frameChecksum(frame)));
    return frame;
}

Link::Link(const ComrigTable& comrig, const PortSettings& settings, UserInteraction& ui, LinkStatus& status)
    : comrig_(comrig), settings_(settings), ui_(ui), status_(status) {}

bool Link::openLink() {
    (void)comrig_.ComClose(port());  // in case a transfer before left it open
    const std::int32_t opened =
        comrig_.ComOpen("com", port(), settings_.BaudRate, settings_.DataBits, settings_.Parity.number(),
                        settings_.StopBits, kQueueBytes, kQueueBytes);
    if (opened < 0) {
        ui_.show(
            withDetail(plainNotice(std::string(kOpenFailedText)), explainComOpenFailure(opened, settings_)));
        return false;
    }
    status_.record(comrig_.ComSetFlow(port(), settings_.FlowMode));
    ui_.processEvents();
    return true;
}

bool Link::sendSoh() {
    status_.record(comrig_.ComSleepMS(port(), kSohPauseMs));
    status_.record(comrig_.ComPutc(port(), kSoh));
    return true;
}

bool Link::sendEot() {
    status_.record(comrig_.ComSleepMS(port(), kEotPauseMs));
    status_.record(comrig_.ComPutc(port(), kEot));
    return true;
}

void Link::sendAck(std::int32_t pauseMs) {
    status_.record(comrig_.ComPutc(port(), kAck));
    status_.record(comrig_.ComSleepMS(port(), pauseMs));
}

std::int32_t Link::getByte() {
    const std::int32_t byte = comrig_.ComGetc(port());
    if (byte == COMRIG_ERR_READ) {
        lineLost_ = true;
    }
    return byte;
}

bool Link::confirmLineLost() {
    // A lost line gives its -8 only behind the bytes received before it, which are of no use once a
    // call on the port failed; the port's queue bounds them.
    for (std::int32_t looked = 0; !lineLost_ && looked <= kQueueBytes; ++looked) {
        const std::int32_t byte = getByte();
        if (byte < 0 || byte > 0xFF) {
            break;
        }
    }
    return lineLost_;
}

std::int32_t Link::readByteAfter(std::int32_t pauseMs) {
    status_.record(comrig_.ComSleepMS(port(), pauseMs));
    return getByte();
}

bool Link::ackAmongBytesAfter(std::int32_t pauseMs) {
    std::int32_t byte = readByteAfter(pauseMs);
    for (int looked = 1; byte >= 0 && byte <= 0xFF && looked < kAnswerScanBytes; ++looked) {
        if (byte == kAck) {
            return true;
        }
        byte = getByte();
    }
    return byte == kAck;
}

bool Link::handshake(bool (Link::*sendByte)(), std::int32_t answerPauseMs, std::int16_t tries) {
    bool acknowledged = false;
    do {
        (this->*sendByte)();
        ui_.processEvents();
        acknowledged = ackAmongBytesAfter(answerPauseMs);
        ui_.processEvents();
        --tries;
    } while (tries > 0 && !acknowledged && !lineLost_);
    return acknowledged;
}

bool Link::requestLink(std::int16_t tries) {
    return handshake(&Link::sendSoh, kSohAnswerPauseMs, tries);
}

bool Link::releaseLink(std::int16_t tries) {
    // What is still waiting answered something earlier (a second ACK for the last line, noise): only
    // an answer to the EOT may end the exchange.
    (void)comrig_.ComFlush(port());
    return handshake(&Link::sendEot, kEotAnswerPauseMs, tries);
}

bool Link::sendFrame(std::string_view frame, std::int16_t tries) {
    const auto length = static_cast<std::int32_t>(frame.size());
    bool acknowledged = false;
    do {
        // The answer read after the write must answer this write: a byte left waiting (a second ACK to
        // the SOH, noise, a late answer to the last try) would otherwise count for a line the terminal
        // may not have, and shift every answer after it.
        (void)comrig_.ComFlush(port());
        const std::int32_t written = comrig_.ComWrite(port(), frame.data(), length);
        if (written == length) {
            acknowledged = ackAmongBytesAfter(kFrameAnswerPauseMs);
        } else if (written < 0 && confirmLineLost()) {
            break;
        }
        --tries;
    } while (!acknowledged && tries > 0 && !lineLost_);
    return acknowledged;
}

}  // namespace formwell::link
