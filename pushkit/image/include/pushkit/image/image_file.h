// The program image file: opened without trusting its name, read in chunks that a cancel can stop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace pushkit {

// The terminals address 16 MiB. Written as S2 records of 16 data bytes that is about 46 MiB of text
// (46 characters with the line end for every 16 bytes), as Intel HEX about 45 MiB; longer records
// take less. A larger file cannot be an image for them, and reading it would only hold the port.
inline constexpr std::uint64_t kImageSizeLimit = 64ull * 1024 * 1024;
// Each chunk reads in a few milliseconds, so a cancel during the read takes effect at once.
inline constexpr std::size_t kImageChunkBytes = 1024 * 1024;

class ImageFile {
  public:
    ImageFile() = default;
    ~ImageFile();
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    // Opens the file for reading and keeps it only when what was opened is a regular file. The open
    // does not wait: a name that leads to a FIFO or a device is refused at once, also when the file
    // was swapped for one after the caller looked at it. False for an empty or missing path too.
    bool open(std::string_view path);
    // Size of the opened file in bytes when it was opened.
    std::uint64_t size() const { return size_; }
    // Reads up to n bytes: the count, 0 at the end of the file, -1 when the read failed.
    std::ptrdiff_t read(char* buf, std::size_t n);
    void close();

  private:
    static constexpr std::intptr_t kClosed = -1;
    std::intptr_t handle_ = kClosed;  // a file descriptor on POSIX, a HANDLE on Windows
    std::uint64_t size_ = 0;
};

enum class ImageRead { Read, Unreadable, TooLarge, Cancelled };

// Reads the opened file into `contents` chunk by chunk, asking `cancelled` before each chunk.
// TooLarge for a file beyond kImageSizeLimit, also one that grows past it while it is read;
// Unreadable when a read fails or there is no memory to hold the image.
ImageRead readImage(ImageFile& file, std::string& contents, const std::function<bool()>& cancelled,
                    std::size_t chunkBytes = kImageChunkBytes);

}  // namespace pushkit
