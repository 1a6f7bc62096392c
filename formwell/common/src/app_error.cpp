#include "formwell/common/app_error.h"

#include <cerrno>
#include <cstring>
#include <new>

namespace formwell {

std::string describeError(int number) {
    switch (number) {
        case errnum::kInvalidCall:
            return "Invalid procedure call or argument";
        case errnum::kOverflow:
            return "Overflow";
        case errnum::kOutOfMemory:
            return "Out of memory";
        case errnum::kTypeMismatch:
            return "Type mismatch";
        case errnum::kUserInterrupt:
            return "User interrupt occurred";
        case errnum::kLibraryLoad:
            return "Error in loading library";
        case errnum::kFileNotFound:
            return "File not found";
        case errnum::kDiskFull:
            return "Disk full";
        case errnum::kPathFileAccess:
            return "Path/File access error";
        case errnum::kPathNotFound:
            return "Path not found";
        case errnum::kInternalError:
            return "Internal error";
        case errnum::kFunctionNotFound:
            return "Function not found in library";
        default:
            return "Application-defined or object-defined error";
    }
}

AppError makeError(int number) {
    return AppError{number, describeError(number)};
}

AppError errorFromException(const std::exception& e) {
    if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr) {
        return makeError(errnum::kOutOfMemory);
    }
    return AppError{errnum::kInternalError, describeError(errnum::kInternalError) + ": " + e.what()};
}

AppError errorFromErrno(int osError, const std::string& path) {
    const std::string where = path.empty() ? std::string() : " (" + path + ")";
    switch (osError) {
        case ENOENT:
            return AppError{errnum::kFileNotFound, describeError(errnum::kFileNotFound) + where};
        case ENOTDIR:
            return AppError{errnum::kPathNotFound, describeError(errnum::kPathNotFound) + where};
        case ENOSPC:
#ifdef EDQUOT
        case EDQUOT:
#endif
            return AppError{errnum::kDiskFull, describeError(errnum::kDiskFull) + where};
        default:
            return AppError{errnum::kPathFileAccess,
                            describeError(errnum::kPathFileAccess) + ": " + std::strerror(osError) + where};
    }
}

}  // namespace formwell
