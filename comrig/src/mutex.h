// A plain mutex for the port table and the ports. The 32-bit Windows cross compiler's C++ library
// has no std::mutex, so each platform brings its own (mutex_posix.cpp, mutex_win32.cpp).
#pragma once

#include <memory>

namespace comrig {

class Mutex {
  public:
    Mutex();
    ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void lock();
    void unlock();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

class LockGuard {
  public:
    explicit LockGuard(Mutex& mutex) : mutex_(mutex) { mutex_.lock(); }
    ~LockGuard() { mutex_.unlock(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

  private:
    Mutex& mutex_;
};

}  // namespace comrig
