#include <mutex>

#include "mutex.h"

namespace comrig {

struct Mutex::State {
    std::mutex mutex;
};

Mutex::Mutex() : state_(std::make_unique<State>()) {}
Mutex::~Mutex() = default;

void Mutex::lock() {
    state_->mutex.lock();
}

void Mutex::unlock() {
    state_->mutex.unlock();
}

}  // namespace comrig
