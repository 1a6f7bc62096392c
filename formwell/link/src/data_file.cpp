// import.txt on the disk: the records a receive stores, and the copies of what a receive empties.
#include <array>
#include <ctime>

#include "formwell/document/input_file.h"
#include "formwell/document/replace_file.h"
#include "formwell/link/transfers.h"

namespace formwell::link {

namespace {

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

std::string localTimeStamp() {
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    char text[32] = {};
    if (local == nullptr || std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", local) == 0) {
        return std::to_string(static_cast<long long>(now));
    }
    return text;
}

// import.txt.20261209-103012.bak, or with -2, -3 ... when a copy of that second exists: a copy is
// never overwritten. Only a receive that holds the data-file lock makes them, so the name found free
// stays free until it is written.
std::filesystem::path freeDatedCopyName(const std::string& dataFile) {
    const std::string stem = dataFile + "." + localTimeStamp();
    std::filesystem::path candidate = stem + ".bak";
    for (int n = 2; std::filesystem::exists(std::filesystem::symlink_status(candidate)); ++n) {
        candidate = stem + "-" + std::to_string(n) + ".bak";
    }
    return candidate;
}

}  // namespace

void storeRecord(OutputFile& dataFile, std::string_view frame) {
    // STX before the record; CR, LF, ETX and the read's NUL after it.
    constexpr std::size_t kFraming = 5;
    if (frame.size() < kFraming) {
        throw makeError(errnum::kInvalidCall);
    }
    std::string line(frame.substr(1, frame.size() - kFraming));
    line += "\r\n";
    if (std::optional<AppError> error = dataFile.write(line)) {
        throw *error;
    }
    // The terminal forgets a record once it has its ACK: the record must be on the disk before then.
    if (std::optional<AppError> error = dataFile.sync()) {
        throw *error;
    }
}

std::string keepPreviousDataFile(const std::string& dataFile, const std::string& backupFile) {
    InputFile previous;
    if (std::optional<AppError> error = previous.open(std::filesystem::path(dataFile))) {
        if (error->number == errnum::kFileNotFound) {
            return {};
        }
        throw *error;
    }
    const std::string bytes = readWholeFile(previous);
    previous.close();
    if (bytes.empty()) {
        return {};
    }
    const std::filesystem::path datedCopy = freeDatedCopyName(dataFile);
    if (std::optional<AppError> error = replaceFileContents(datedCopy, bytes)) {
        throw *error;
    }
    if (std::optional<AppError> error = replaceFileContents(std::filesystem::path(backupFile), bytes)) {
        throw *error;
    }
    return datedCopy.filename().string();
}

}  // namespace formwell::link
