// Windows error codes from file work, as the run-time error numbers Formwell shows.
#pragma once

#include <windows.h>

#include <string>

#include "formwell/common/app_error.h"

namespace formwell {

inline AppError errorFromWin32(DWORD error, const std::string& path) {
    int number = errnum::kPathFileAccess;
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
            number = errnum::kFileNotFound;
            break;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
            number = errnum::kPathNotFound;
            break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            number = errnum::kDiskFull;
            break;
        default:
            break;
    }
    return AppError{number, describeError(number) + " (" + path + ")"};
}

}  // namespace formwell
