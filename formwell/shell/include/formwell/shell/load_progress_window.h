// The modal progress window of a program load: the image, the share loaded (from the loader's
// progress hook), the time since the load began, and Cancel. It only shows the worker's state and
// forwards Cancel; it closes itself when the load has ended, and not before: closing it any other way
// (its close box, Escape) asks the load to stop, like Cancel.
#pragma once

#include <QDialog>
#include <QString>

#include "formwell/link/load_worker.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace formwell::shell {

// "0:07", "12:30", "1:02:03".
QString elapsedText(std::chrono::steady_clock::duration elapsed);

class LoadProgressWindow : public QDialog {
    Q_OBJECT

  public:
    LoadProgressWindow(link::LoadWorker& worker, const QString& imagePath, int port,
                       QWidget* parent = nullptr);

    // Asks the load to stop and says so until it has.
    void requestCancel();
    bool cancelRequested() const { return cancelRequested_; }

  protected:
    void reject() override;  // Escape and the close box: stop the load, close when it has ended

  private:
    // Shows the worker's state; returns it.
    link::LoadSnapshot refresh();

    link::LoadWorker& worker_;
    QLabel* status_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QLabel* elapsed_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QTimer* timer_ = nullptr;
    bool cancelRequested_ = false;
};

}  // namespace formwell::shell
