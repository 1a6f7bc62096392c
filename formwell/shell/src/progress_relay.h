// The window's interaction during transfers: everything goes to the window's own interaction, and
// progress also lands in the window's status line.
#pragma once

#include <functional>
#include <utility>

#include "formwell/common/user_interaction.h"

namespace formwell::shell {

class ProgressRelay : public UserInteraction {
  public:
    ProgressRelay(UserInteraction& inner, std::function<void(const Progress&)> show)
        : inner_(inner), show_(std::move(show)) {}

    Answer show(const Message& message) override { return inner_.show(message); }
    void beep() override { inner_.beep(); }
    void setBusy(bool busy) override { inner_.setBusy(busy); }
    void processEvents() override { inner_.processEvents(); }
    std::string chooseFile(const FileDialogRequest& request) override { return inner_.chooseFile(request); }
    void showProgress(const Progress& progress) override {
        inner_.showProgress(progress);
        show_(progress);
    }

  private:
    UserInteraction& inner_;
    std::function<void(const Progress&)> show_;
};

}  // namespace formwell::shell
