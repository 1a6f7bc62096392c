// One receive at a time per start-up directory. Two receives into the same import.txt would each
// write at their own position in a file the other emptied, and a second receive that goes on to find
// its port taken would already have replaced import.txt.bak: records not yet imported would be lost.
// A receive therefore holds this lock before it touches either file, and until it has closed them.
//
// The lock is a small file beside import.txt (import.txt.lock) held by the operating system's file
// lock, so a receive that is killed releases it with its process; it names its holder (program and
// process number) for the message a second receive shows. The file is removed when the holder lets go.
#pragma once

#include <cstdint>
#include <string>

namespace formwell::link {

inline constexpr const char* kDataLockFileName = "import.txt.lock";

class DataFileLock {
  public:
    enum class Outcome : std::uint8_t {
        Held,    // this receive may write the files
        Busy,    // another receive holds it; holder() names it where the system tells
        Failed,  // the lock file could not be made (no such folder, no right to write there)
    };

    DataFileLock() = default;
    ~DataFileLock() { release(); }
    DataFileLock(const DataFileLock&) = delete;
    DataFileLock& operator=(const DataFileLock&) = delete;

    // `lockPath`: import.txt.lock in the start-up directory.
    Outcome acquire(const std::string& lockPath);
    void release();

    // "formwell-cli (pid 812)" after Busy, when the holder wrote it; empty otherwise.
    const std::string& holder() const { return holder_; }
    // The system's reason after Failed.
    const std::string& reason() const { return reason_; }

  private:
    std::intptr_t handle_ = -1;
    std::string path_;
    std::string holder_;
    std::string reason_;
};

}  // namespace formwell::link
