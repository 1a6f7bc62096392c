// The words beneath a transfer's result box: which step the terminal left unanswered, and for the
// receive what is in import.txt now.
#include "comrig.h"
#include "formwell/link/transfers.h"

namespace formwell::link {

namespace {

using Cause = TransferReport::Cause;

// "1 line", "3 lines".
std::string counted(std::int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string noLinkAnswer(const TransferReport& r, const char* menuOption) {
    return "The terminal did not answer the link request (" + std::to_string(r.tries) +
           " SOH sent, no ACK). Is it in its DATA TRANSFER menu, option " + menuOption + "?";
}

std::string lineRefused(const TransferReport& r) {
    std::string text = "The terminal did not acknowledge line " + std::to_string(r.line) + " of " +
                       std::to_string(r.lines) + " (sent " + counted(r.tries, "time", "times") + ")";
    const std::int64_t notSent = r.lines - r.line;
    if (notSent == 1) {
        text += "; the line after it was not sent";
    } else if (notSent > 1) {
        text += "; the " + std::to_string(notSent) + " lines after it were not sent";
    }
    return text + ".";
}

std::string afterRecord(std::int64_t stored) {
    return stored == 0 ? "before the first record" : "after record " + std::to_string(stored);
}

// A USB adapter pulled out of the PC takes its device with it; a cradle's cable pulled out of the
// adapter looks like a silent terminal instead.
std::string lineLost(const std::string& when) {
    return "The port's device went away or its line hung up " + when +
           " (the cradle's USB adapter unplugged?). Plug it in again and repeat the transfer.";
}

std::string sendLineLost(const TransferReport& r) {
    if (r.line == 0) {
        return lineLost("before the first line was sent");
    }
    if (r.line > r.lines) {
        return lineLost("after every line was sent, before the end of the transfer");
    }
    return lineLost("while line " + std::to_string(r.line) + " of " + std::to_string(r.lines) +
                    " was being sent");
}

std::string receiveCause(const TransferReport& r) {
    switch (r.cause) {
        case Cause::NoLinkAnswer:
            return noLinkAnswer(r, "1");
        case Cause::WaitEnded:
            return "Neither a record nor the end of the data came within " +
                   std::to_string(kReadWaitSeconds) + " s " + afterRecord(r.stored) + ".";
        case Cause::BadCheckBytes:
            return "The check byte did not match in " + std::to_string(r.tries) + " frames in a row " +
                   afterRecord(r.stored) + ".";
        case Cause::ReadFailed:
            return "The port could not be read " + afterRecord(r.stored) + ".";
        case Cause::LineLost:
            return lineLost(afterRecord(r.stored));
        case Cause::OddReadResult:
            if (r.readResult == COMRIG_READ_FULL) {
                return std::to_string(kReadMaxBytes) + " bytes came without the end of a frame " +
                       afterRecord(r.stored) + ".";
            }
            return "The port's read gave the unexpected result " + std::to_string(r.readResult) + " " +
                   afterRecord(r.stored) + ".";
        case Cause::None:
        case Cause::LineRefused:
        case Cause::EndRefused:
            break;
    }
    return {};
}

}  // namespace

std::string sendFailureDetail(const TransferReport& report) {
    switch (report.cause) {
        case Cause::NoLinkAnswer:
            return noLinkAnswer(report, "2");
        case Cause::LineRefused:
            return lineRefused(report);
        case Cause::EndRefused:
            return "The terminal acknowledged every line (" + counted(report.lines, "line", "lines") +
                   ") but not the end of the transfer (" + std::to_string(report.tries) +
                   " EOT sent, no ACK).";
        case Cause::LineLost:
            return sendLineLost(report);
        default:
            return {};
    }
}

std::string receiveDetail(const TransferReport& report, bool complete) {
    if (!report.dataFileEmptied) {
        return "Nothing was received; " + report.dataFile + " was left as it was.";
    }
    std::string text = complete ? std::string() : receiveCause(report);
    if (!text.empty()) {
        text += "\n";
    }
    text += (report.stored == 0 ? std::string("No records") : counted(report.stored, "record", "records")) +
            " stored in " + report.dataFile + ".";
    if (!report.keptCopy.empty()) {
        text += "\nWhat it held before is kept in " + report.keptCopy + ".";
    }
    return text;
}

}  // namespace formwell::link
