// The window's side of the user-interaction seam: Qt message boxes, the system beep, the
// screen-wide hourglass and the open-file dialog.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include "formwell/common/user_interaction.h"

namespace formwell::shell {

// "INI File (*.ini)|*.ini||" (description|pattern pairs, closed by an empty pair) as the
// ";;"-separated filter list of Qt's file dialog: "INI File (*.ini)".
QString qtFileFilter(const std::string& pipeFilter);

class QtInteraction : public UserInteraction {
  public:
    explicit QtInteraction(QWidget* owner = nullptr) : owner_(owner) {}

    Answer show(const Message& message) override;
    void beep() override;
    void setBusy(bool busy) override;
    void processEvents() override;
    std::string chooseFile(const FileDialogRequest& request) override;

  private:
    QPointer<QWidget> owner_;
    bool busy_ = false;
};

}  // namespace formwell::shell
