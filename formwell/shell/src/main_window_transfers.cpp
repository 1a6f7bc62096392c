// The bottom band: PC Configuration and the transfers to and from the terminal.
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>

#include "formwell/link/port_settings.h"
#include "formwell/shell/main_window.h"
#include "formwell/shell/port_settings_dialog.h"
#include "progress_relay.h"
#include "pumping_comrig.h"

namespace formwell::shell {

void MainWindow::buildTransfers(std::function<link::ComrigTable()> comrig) {
    link::ComrigTable table = comrig ? comrig() : pumpingComrig(link::boundComrig());
    transferUi_ =
        std::make_unique<ProgressRelay>(*ui_, [this](const Progress& p) { showTransferProgress(p); });
    linkCommands_ = std::make_unique<link::LinkCommands>(*transferUi_, startupDirectory(), std::move(table),
                                                         transferGuard_);
    transferGuard_.setObserver([this](bool running) { transferRunning(running); });

    connect(Setup, &QPushButton::clicked, this, &MainWindow::showPortSettings);
    connect(DownINI, &QPushButton::clicked, this, [this] { linkCommands_->transmitIniFile(); });
    connect(Upload, &QPushButton::clicked, this, [this] { linkCommands_->receiveFile(); });
}

void MainWindow::showPortSettings() {
    if (parameter_) {
        parameter_->show();
        parameter_->raise();
        parameter_->activateWindow();
        return;
    }
    parameter_ = new PortSettingsDialog(
        *ui_, link::startupFile(startupDirectory(), link::kPortSettingsFileName), this);
    parameter_->show();
    parameter_->activateWindow();
}

// The bottom band's buttons are greyed while a transfer holds the port, and come back as they were.
void MainWindow::transferRunning(bool running) {
    if (running) {
        enabledBeforeTransfer_.clear();
        for (QPushButton* b : {Setup, Upload, DownProg, DownINI}) {
            if (b->isEnabled()) {
                enabledBeforeTransfer_.push_back(b);
                b->setEnabled(false);
            }
        }
        TransferStatus->clear();
        TransferStatus->setAccessibleDescription(QString());
    } else {
        for (QPushButton* b : enabledBeforeTransfer_) {
            b->setEnabled(true);
        }
        enabledBeforeTransfer_.clear();
    }
}

void MainWindow::showTransferProgress(const Progress& progress) {
    const QString text = QString::fromStdString(progressText(progress));
    TransferStatus->setText(text);
    // Its accessible name is its object name, as for every control: the text goes in the description.
    TransferStatus->setAccessibleDescription(text);
}

// The transfer's own steps are on the stack below this event: the window stays until it has ended.
// A program load is asked about first: agreed, it is cancelled and the window closes after it.
void MainWindow::closeEvent(QCloseEvent* event) {
    if (loadWindow_) {
        event->ignore();
        if (!closeAfterLoad_ && agreeToStopLoad()) {
            closeAfterLoad_ = true;
        }
        return;
    }
    if (transferGuard_.running()) {
        QApplication::beep();
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

}  // namespace formwell::shell
