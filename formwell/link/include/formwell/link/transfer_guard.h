// One transfer at a time: a transfer holds the port from its start to its end, and the window keeps
// processing events meanwhile, so a second click must not start another one on the same port. Every
// transfer command (INI send, data receive, program load) begins by taking the guard.
#pragma once

#include <functional>

namespace formwell::link {

// How the last transfer command ended, for formwell-cli's exit status.
enum class CommandOutcome {
    NotStarted,  // no file chosen, the answer No, or another transfer holds the port
    Succeeded,
    Failed,
};

class TransferGuard {
  public:
    // Told when a transfer starts (true) and ends (false); the window greys its transfer buttons.
    void setObserver(std::function<void(bool running)> observer) { observer_ = std::move(observer); }
    bool running() const { return running_; }

    // Holds the guard for one scope; acquired() is false when another transfer is running.
    class Scope {
      public:
        explicit Scope(TransferGuard& guard) : guard_(guard), acquired_(!guard.running_) {
            if (acquired_) {
                guard_.set(true);
            }
        }
        ~Scope() {
            if (acquired_) {
                guard_.set(false);
            }
        }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
        bool acquired() const { return acquired_; }

      private:
        TransferGuard& guard_;
        bool acquired_;
    };

  private:
    void set(bool running) {
        running_ = running;
        if (observer_) {
            observer_(running);
        }
    }

    bool running_ = false;
    std::function<void(bool)> observer_;
};

}  // namespace formwell::link
