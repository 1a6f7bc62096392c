// Acting on a modal window from inside its own event loop. The code under test blocks in exec() until
// the window closes, so it must close whatever happens: a failed check in the action, a window of
// another kind, one left open. Each is a failure of the test, and the window is closed at once.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <utility>

namespace formwell::shell::testing {

class ModalWindowAction {
  public:
    // Watches for a modal window until this object goes: `act` runs on the first one that opens.
    explicit ModalWindowAction(std::function<void(QWidget&)> act) : act_(std::move(act)) {
        QObject::connect(&poll_, &QTimer::timeout, [this] { actOnModal(); });
        poll_.start(5);
    }
    ~ModalWindowAction() {
        if (!acted_) {
            ADD_FAILURE() << "no modal window opened";
        }
    }
    ModalWindowAction(const ModalWindowAction&) = delete;
    ModalWindowAction& operator=(const ModalWindowAction&) = delete;

  private:
    void actOnModal() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) {
            return;
        }
        poll_.stop();
        acted_ = true;
        const QPointer<QWidget> open(modal);
        act_(*modal);
        if (open && open->isVisible()) {
            ADD_FAILURE() << "the " << open->metaObject()->className() << " was left open";
            if (auto* dialog = qobject_cast<QDialog*>(open.data())) {
                dialog->reject();
            } else {
                open->close();
            }
        }
    }

    std::function<void(QWidget&)> act_;
    QTimer poll_;
    bool acted_ = false;
};

// Call before the code that opens the window; keep the result until that code has returned.
// `act` is expected to close the window.
template <typename Window, typename Act>
[[nodiscard]] ModalWindowAction whenModalOpens(Act act) {
    return ModalWindowAction([act](QWidget& modal) mutable {
        if (auto* window = qobject_cast<Window*>(&modal)) {
            act(*window);
        } else {
            ADD_FAILURE() << "a " << modal.metaObject()->className() << " opened instead";
        }
    });
}

}  // namespace formwell::shell::testing
