#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>

#include "pushkit/image/image_file.h"

namespace pushkit {

namespace {

HANDLE handleOf(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

ImageFile::~ImageFile() {
    close();
}

bool ImageFile::open(std::string_view path) {
    close();
    if (path.empty()) {
        return false;
    }
    const std::string name(path);
    // Others may keep the file open for reading or writing, as with any ordinary file open.
    const HANDLE file = ::CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    // A disk file only: COM ports, consoles and pipes opened by name are refused.
    LARGE_INTEGER size{};
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileSizeEx(file, &size) || size.QuadPart < 0) {
        (void)::CloseHandle(file);  // refused either way
        return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    size_ = static_cast<std::uint64_t>(size.QuadPart);
    return true;
}

std::ptrdiff_t ImageFile::read(char* buf, std::size_t n) {
    if (handle_ == kClosed) {
        return -1;
    }
    DWORD got = 0;
    const auto asked = static_cast<DWORD>(std::min<std::size_t>(n, MAXDWORD));
    if (!::ReadFile(handleOf(handle_), buf, asked, &got, nullptr)) {
        return -1;
    }
    return static_cast<std::ptrdiff_t>(got);
}

void ImageFile::close() {
    if (handle_ != kClosed) {
        (void)::CloseHandle(
            handleOf(std::exchange(handle_, kClosed)));  // nothing was written: nothing to lose
    }
    size_ = 0;
}

}  // namespace pushkit
