// One error type for everything Formwell traps and shows: a number and a description, shown as
// "number description" (or "ERROR: number\r\ndescription" by the transfers). The numbers are the
// conventional run-time error numbers our users and their support staff already know.
#pragma once

#include <exception>
#include <string>

namespace formwell {

namespace errnum {
inline constexpr int kInvalidCall = 5;  // e.g. a received frame too short to hold a record
inline constexpr int kOverflow = 6;     // e.g. a document of more than 32767 fields
inline constexpr int kOutOfMemory = 7;
inline constexpr int kTypeMismatch = 13;   // a settings value that is not a number
inline constexpr int kUserInterrupt = 18;  // Ctrl-C in formwell-cli during a transfer
inline constexpr int kLibraryLoad = 48;    // a library could not be loaded
inline constexpr int kInternalError = 51;  // an unexpected failure inside Formwell itself
inline constexpr int kFileNotFound = 53;
inline constexpr int kDiskFull = 61;
inline constexpr int kPathFileAccess = 75;  // permission, read-only, in use, not a regular file
inline constexpr int kPathNotFound = 76;
inline constexpr int kFunctionNotFound = 453;  // a function missing from a loaded library
}  // namespace errnum

struct AppError {
    int number = 0;
    std::string description;

    // "53 File not found": how trapped errors are shown in message boxes.
    std::string text() const { return std::to_string(number) + " " + description; }
};

// The conventional description for one of the numbers above ("File not found", ...).
std::string describeError(int number);

AppError makeError(int number);

// What a caught exception means to the user: 7 for memory, 51 with the exception's text otherwise.
AppError errorFromException(const std::exception& e);

// Maps an OS error number (errno) from opening, reading or writing `path` to our numbers, keeping
// the OS's reason in the description where ours would hide it.
AppError errorFromErrno(int osError, const std::string& path);

}  // namespace formwell
