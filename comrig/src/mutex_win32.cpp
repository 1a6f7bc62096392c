#include <windows.h>

#include "mutex.h"

namespace comrig {

struct Mutex::State {
    SRWLOCK lock = SRWLOCK_INIT;
};

Mutex::Mutex() : state_(std::make_unique<State>()) {}
Mutex::~Mutex() = default;

void Mutex::lock() {
    ::AcquireSRWLockExclusive(&state_->lock);
}

void Mutex::unlock() {
    ::ReleaseSRWLockExclusive(&state_->lock);
}

}  // namespace comrig
