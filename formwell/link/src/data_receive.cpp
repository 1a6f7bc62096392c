// Receiving the terminal's data file: after the SOH handshake the terminal sends one frame per record
// and waits for ACK; the PC acknowledges a frame only when its check byte matches and the record is on
// the disk, and stops at the terminal's EOT. A terminal forgets a record once it has its ACK, so the
// order is store, then ACK: at worst a record is stored twice (its ACK lost), never lost.
#include <array>

#include "comrig.h"
#include "formwell/link/data_file_lock.h"
#include "formwell/link/transfers.h"
#include "transfer_ending.h"

namespace formwell::link {

namespace {

// The buffer ComReadBuf fills: 200 bytes and room for the NUL after a frame, blanks to begin with.
constexpr std::size_t kReceiveBufferSize = 201;

// Frames in a row with a wrong check byte: the counter starts at 1, a good frame sets it to 2, and
// the receive gives up above 3 (three bad frames before the first good one, two after any).
constexpr int kCounterStart = 1;
constexpr int kCounterAfterGoodFrame = 2;
constexpr int kCounterLimit = 3;

constexpr std::string_view kReadFailedText = "1-Please check the configuration ...";
constexpr std::string_view kTimeOutTitle = "Time out";
constexpr std::string_view kTimeOutText =
    "1-Connection Time Out. Please check the configuration and cabling ...";
constexpr std::string_view kBusyTitle = "Invalid Action";

std::string_view trimTrailingBlanks(std::string_view text) {
    const std::size_t last = text.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

}  // namespace

std::string_view frameFromStx(std::string_view bytes) {
    const std::size_t stx = bytes.find(kStx);
    return stx == std::string_view::npos ? std::string_view() : bytes.substr(stx);
}

bool endsData(std::string_view bytes, bool checkByteOwed) {
    if (checkByteOwed && !bytes.empty()) {
        bytes.remove_prefix(1);
    }
    const std::size_t eot = bytes.find(kEot);
    return eot != std::string_view::npos && eot < bytes.find(kStx);
}

bool Transfers::holdDataFiles(DataFileLock& lock) {
    const std::string lockPath = startupFile(startupDirectory_, kDataLockFileName);
    switch (lock.acquire(lockPath)) {
        case DataFileLock::Outcome::Held:
            return true;
        case DataFileLock::Outcome::Busy: {
            const std::string who = lock.holder().empty() ? "another program" : lock.holder();
            ui_.beep();
            ui_.show(information(std::string(kBusyTitle), "import.txt in this folder is being received by " +
                                                              who +
                                                              ". Try again when that receive has ended ..."));
            return false;
        }
        case DataFileLock::Outcome::Failed:
            break;
    }
    throw AppError{errnum::kPathFileAccess,
                   describeError(errnum::kPathFileAccess) + ": " + lock.reason() + " (" + lockPath + ")"};
}

bool Transfers::receiveDataFile() {
    report_ = TransferReport{};
    report_.dataFile = startupFile(startupDirectory_, kDataFileName);
    DataFileLock lock;  // let go of after the data file is closed, on every path
    OutputFile dataFile;
    Ending ending(*this, kReceiveActivity, Ending::Order::PortFirst, [&] {
        if (std::optional<AppError> error = dataFile.close()) {
            throw *error;  // records may not have reached the disk: that is a failure of its own
        }
    });
    try {
        // import.txt and its copies are touched only once this receive has the folder and the port:
        // one that cannot have them leaves the files as they were.
        if (!holdDataFiles(lock) || !readSettings()) {
            return false;
        }
        Link link(comrig_, settings_, ui_, status_);
        if (!link.openLink()) {
            return false;
        }
        ending.portOpened();
        report_.keptCopy =
            keepPreviousDataFile(report_.dataFile, startupFile(startupDirectory_, kDataBackupFileName));
        if (std::optional<AppError> error = dataFile.create(std::filesystem::path(report_.dataFile))) {
            throw *error;
        }
        report_.dataFileEmptied = true;
        (void)comrig_.ComFlush(settings_.PortNumber);
        (void)comrig_.ComFlushImmediate(settings_.PortNumber);
        ending.startReporting(-1);
        if (!link.requestLink(kReceiveRequestTries)) {
            report_.cause =
                link.lineLost() ? TransferReport::Cause::LineLost : TransferReport::Cause::NoLinkAnswer;
            report_.tries = kReceiveRequestTries;
            return ending.finish(false);
        }
        // A read that ends the receive also gives the default pointer back.
        auto finish = [&](bool result, TransferReport::Cause cause = TransferReport::Cause::None) {
            report_.cause = cause;
            ending.finish(result);
            ui_.setBusy(false);
            return result;
        };
        int counter = kCounterStart;
        std::int32_t badInARow = 0;
        // A frame came and its check byte did not: the next byte to come is that check byte, late.
        bool checkByteOwed = false;
        while (counter <= kCounterLimit) {
            std::array<char, kReceiveBufferSize> buffer;
            buffer.fill(' ');
            const std::int32_t read = comrig_.ComReadBuf(settings_.PortNumber, buffer.data(), kReadTerminator,
                                                         kReadMaxBytes, kReadWaitSeconds);
            // Only the blanks after the frame's NUL go: a record's own trailing blanks stay.
            const std::string_view trimmed =
                trimTrailingBlanks(std::string_view(buffer.data(), buffer.size()));
            if (read == COMRIG_FAILED) {
                ui_.show(information(std::string(), std::string(kReadFailedText)));
                return finish(false, link.confirmLineLost() ? TransferReport::Cause::LineLost
                                                            : TransferReport::Cause::ReadFailed);
            }
            if (read == COMRIG_READ_WAIT_ENDED) {
                if (checkByteOwed && trimmed == std::string_view(&kEot, 1)) {
                    // A late check byte that happens to be EOT: the terminal still waits for its ACK
                    // and sends the frame again, so this is no end of its data.
                    checkByteOwed = false;
                    continue;
                }
                if (endsData(trimmed, checkByteOwed)) {
                    return finish(true);
                }
                ui_.show(information(std::string(kTimeOutTitle), std::string(kTimeOutText)));
                return finish(false, TransferReport::Cause::WaitEnded);
            }
            if (read != COMRIG_READ_FRAME) {
                ui_.show(information(std::string(), "1-Error occured " + status_.text() + " ..."));
                report_.readResult = read;
                return finish(false, TransferReport::Cause::OddReadResult);
            }
            const std::string_view frame = frameFromStx(trimmed);
            const std::int32_t check = link.readByteAfter(kCheckByteWaitMs);
            checkByteOwed = check < 0 || check > 0xFF;
            if (!frame.empty() && check == frameChecksum(frame)) {
                storeRecord(dataFile, frame);  // raises when it cannot: no ACK, the terminal keeps it
                link.sendAck(kAckPauseMs);
                status_.recordTrue();
                counter = kCounterAfterGoodFrame;
                badInARow = 0;
                ending.report(++report_.stored);
            } else {
                ++counter;  // nothing is sent back for a bad frame
                ++badInARow;
            }
            ui_.processEvents();
        }
        // Too many bad frames: no message of its own.
        report_.cause = TransferReport::Cause::BadCheckBytes;
        report_.tries = badInARow;
        return ending.finish(false);
    } catch (const AppError& e) {
        return ending.fail(e);
    } catch (const std::exception& e) {
        return ending.fail(errorFromException(e));
    }
}

}  // namespace formwell::link
