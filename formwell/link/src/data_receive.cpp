// Receiving the terminal's data file: after the SOH handshake the terminal sends one frame per record
// and waits for ACK; the PC acknowledges a frame only when its check byte matches, and stops at the
// terminal's EOT. Records are stored as they arrive, so those received before a failure stay.
#include <algorithm>
#include <array>

#include "formwell/document/input_file.h"
#include "formwell/document/replace_file.h"
#include "formwell/link/transfers.h"

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

std::string_view trimTrailingBlanks(std::string_view text) {
    const std::size_t last = text.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

std::string readWholeFile(InputFile& file) {
    std::string bytes;
    std::array<char, 65536> chunk{};
    for (;;) {
        std::size_t got = 0;
        if (std::optional<AppError> error = file.read(chunk.data(), chunk.size(), got)) {
            throw *error;
        }
        if (got == 0) {
            return bytes;
        }
        bytes.append(chunk.data(), got);
    }
}

}  // namespace

bool storeRecord(OutputFile& dataFile, std::string_view trimmedFrame) {
    // STX before the record; CR, LF, ETX and the read's NUL after it.
    constexpr std::size_t kFraming = 5;
    if (trimmedFrame.size() < kFraming) {
        throw makeError(errnum::kInvalidCall);
    }
    std::string line(trimmedFrame.substr(1, trimmedFrame.size() - kFraming));
    line += "\r\n";
    if (std::optional<AppError> error = dataFile.write(line)) {
        throw *error;
    }
    return true;
}

void keepPreviousDataFile(const std::string& dataFile, const std::string& backupFile) {
    InputFile previous;
    if (std::optional<AppError> error = previous.open(std::filesystem::path(dataFile))) {
        if (error->number == errnum::kFileNotFound) {
            return;
        }
        throw *error;
    }
    const std::string bytes = readWholeFile(previous);
    previous.close();
    if (bytes.empty()) {
        return;
    }
    if (std::optional<AppError> error = replaceFileContents(std::filesystem::path(backupFile), bytes)) {
        throw *error;
    }
}

bool Transfers::receiveDataFile() {
    OutputFile dataFile;
    std::int64_t stored = 0;
    bool reporting = false;
    auto closeDataFile = [&] {
        if (std::optional<AppError> error = dataFile.close()) {
            throw *error;  // records may not have reached the disk: that is a failure of its own
        }
    };
    auto endReporting = [&] {
        if (reporting) {
            reporting = false;
            reportProgress(kReceiveActivity, stored, -1, true);
        }
    };
    // The error handler: the port is closed before the box here (the send does it after).
    auto onError = [&](const AppError& error) {
        ui_.beep();
        (void)dataFile.close();  // the error being reported comes first
        closePortAfterError();
        endReporting();
        status_.record(buttonCode(ui_.show(critical("ERROR", transferErrorText(error)))));
        return false;
    };
    try {
        const std::string dataPath = startupFile(startupDirectory_, kDataFileName);
        keepPreviousDataFile(dataPath, startupFile(startupDirectory_, kDataBackupFileName));
        if (std::optional<AppError> error = dataFile.create(std::filesystem::path(dataPath))) {
            throw *error;
        }
        if (!loadPortSettings(startupDirectory_, ui_, settings_)) {
            closeDataFile();
            return false;
        }
        Link link(comrig_, settings_, ui_, status_, onOpenFailure_);
        if (!link.openLink()) {
            closeDataFile();
            return false;
        }
        (void)comrig_.ComFlush(settings_.PortNumber);
        (void)comrig_.ComFlushImmediate(settings_.PortNumber);
        reporting = true;
        reportProgress(kReceiveActivity, 0, -1, false);
        if (!link.requestLink(kReceiveRequestTries)) {
            closeDataFile();
            (void)comrig_.ComClose(settings_.PortNumber);
            endReporting();
            return false;
        }

        // Ends the receive after a read that ended it: port, file, pointer, in that order.
        auto finish = [&](bool result) {
            (void)comrig_.ComClose(settings_.PortNumber);
            closeDataFile();
            endReporting();
            ui_.setBusy(false);
            return result;
        };
        int counter = kCounterStart;
        while (counter <= kCounterLimit) {
            std::array<char, kReceiveBufferSize> buffer;
            buffer.fill(' ');
            const std::int32_t read = comrig_.ComReadBuf(settings_.PortNumber, buffer.data(), kReadTerminator,
                                                         kReadMaxBytes, kReadWaitSeconds);
            // Only the blanks after the frame's NUL go: a record's own trailing blanks stay.
            const std::string_view trimmed =
                trimTrailingBlanks(std::string_view(buffer.data(), buffer.size()));
            if (read == -1) {
                ui_.show(plainNotice(std::string(kReadFailedText)));
                return finish(false);
            }
            if (read == 3) {
                if (trimmed.find(kEot) != std::string_view::npos) {
                    return finish(true);
                }
                ui_.show(information(std::string(kTimeOutTitle), std::string(kTimeOutText)));
                return finish(false);
            }
            if (read != 2) {
                ui_.show(plainNotice("1-Error occured " + status_.text() + " ..."));
                return finish(false);
            }
            const std::int32_t check = link.readByteAfter(kCheckByteWaitMs);
            if (check == frameChecksum(trimmed)) {
                link.sendAck(kAckPauseMs);
                if (storeRecord(dataFile, trimmed)) {
                    status_.recordTrue();
                }
                counter = kCounterAfterGoodFrame;
                ++stored;
                reportProgress(kReceiveActivity, stored, -1, false);
            } else {
                ++counter;  // nothing is sent back for a bad frame
            }
            ui_.processEvents();
        }
        (void)comrig_.ComClose(settings_.PortNumber);
        closeDataFile();
        endReporting();
        return false;
    } catch (const AppError& e) {
        return onError(e);
    } catch (const std::exception& e) {
        return onError(errorFromException(e));
    }
}

}  // namespace formwell::link
