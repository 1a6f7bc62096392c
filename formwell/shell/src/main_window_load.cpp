// Load Program In HHT: the load runs on a worker thread while the modal progress window shows it, so
// the window keeps painting through a load of minutes and can stop it cleanly.
#include <QCursor>
#include <QGuiApplication>
#include <QPushButton>

#include "formwell/shell/main_window.h"

namespace formwell::shell {

namespace {

// The hourglass of the running command stays set underneath; over the progress window the pointer
// must show that Cancel can be pressed.
class NormalPointer {
  public:
    NormalPointer() : busy_(QGuiApplication::overrideCursor() != nullptr) {
        if (busy_) {
            QGuiApplication::restoreOverrideCursor();
        }
    }
    ~NormalPointer() {
        if (busy_) {
            QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        }
    }
    NormalPointer(const NormalPointer&) = delete;
    NormalPointer& operator=(const NormalPointer&) = delete;

  private:
    bool busy_;
};

}  // namespace

void MainWindow::buildProgramLoad(std::function<link::PushkitTable()> pushkit) {
    bindLoader_ = pushkit ? std::move(pushkit) : [] { return link::bindPushkit(); };
    programLoad_ = std::make_unique<link::ProgramLoad>(
        *ui_, startupDirectory(), [this](const link::DownloadArguments& a) { return runLoad(a); },
        transferGuard_, link::LoadOverrides{}, &history_);
    connect(loadProgramButton_, &QPushButton::clicked, this, [this] {
        programLoad_->loadProgramInHht();
        // A close asked for during the load waited for it; the load's messages have been shown.
        if (closeAfterLoad_) {
            closeAfterLoad_ = false;
            close();
        }
    });
}

link::LoadEnd MainWindow::runLoad(const link::DownloadArguments& arguments) {
    link::PushkitTable loader = bindLoader_();  // 48 or 453 end the command before the load starts
    return link::runLoadOnWorker(std::move(loader), arguments, [&](link::LoadWorker& worker) {
        const NormalPointer pointer;
        LoadProgressWindow window(worker, QString::fromLocal8Bit(arguments.imagePath.c_str()), arguments.port,
                                  this);
        loadWindow_ = &window;
        window.exec();
        loadWindow_ = nullptr;
        // The window ends on its own only with the load; should anything else end it (the program
        // asked to quit), the load is stopped rather than waited for with the window frozen.
        if (!worker.poll().finished) {
            worker.cancel();
        }
    });
}

bool MainWindow::agreeToStopLoad() {
    const Answer answer = ui_->show(question("Confirm Action",
                                             "A program is being loaded into the terminal.\r\nStop the load "
                                             "and close Formwell when it has stopped?"));
    if (answer != Answer::Yes) {
        return false;
    }
    if (loadWindow_) {  // the load may have ended while the question was open
        loadWindow_->requestCancel();
    }
    return true;
}

}  // namespace formwell::shell
