// The bottom band: PC Configuration and the transfers to and from the terminal.
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableView>

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
                                                         transferGuard_, &history_);
    transferGuard_.setObserver([this](bool running) { transferRunning(running); });

    connect(portSettingsButton_, &QPushButton::clicked, this, &MainWindow::showPortSettings);
    connect(transmitIniButton_, &QPushButton::clicked, this, [this] { linkCommands_->transmitIniFile(); });
    connect(receiveButton_, &QPushButton::clicked, this, [this] { linkCommands_->receiveFile(); });
}

void MainWindow::showPortSettings() {
    if (portSettingsDialog_) {
        portSettingsDialog_->show();
        portSettingsDialog_->raise();
        portSettingsDialog_->activateWindow();
        return;
    }
    portSettingsDialog_ = new PortSettingsDialog(
        *ui_, link::startupFile(startupDirectory(), link::kPortSettingsFileName), this);
    portSettingsDialog_->show();
    portSettingsDialog_->activateWindow();
}

// While a transfer holds the port every command of the window rests, and comes back as it was. The
// transfer's steps run under this window's events: a command that opened a window of its own (a file
// dialog, the barcode list, a message box, PC Configuration's save) would hold the next step until
// it closed, and the terminal does not wait that long.
void MainWindow::transferRunning(bool running) {
    if (running) {
        enabledBeforeTransfer_.clear();
        std::vector<QWidget*> controls{fieldGrid_};
        for (QPushButton* b : findChildren<QPushButton*>()) {
            controls.push_back(b);
        }
        for (QWidget* w : controls) {
            if (w->isEnabled()) {
                enabledBeforeTransfer_.emplace_back(w);
                w->setEnabled(false);
            }
        }
        transferStatusLabel_->clear();
        transferStatusLabel_->setAccessibleDescription(QString());
    } else {
        for (const QPointer<QWidget>& w : enabledBeforeTransfer_) {
            if (w) {
                w->setEnabled(true);
            }
        }
        enabledBeforeTransfer_.clear();
    }
}

void MainWindow::showTransferProgress(const Progress& progress) {
    const QString text = QString::fromStdString(progressText(progress));
    transferStatusLabel_->setText(text);
    // Its accessible name is its object name, as for every control: the text goes in the description.
    transferStatusLabel_->setAccessibleDescription(text);
}

// The transfer's own steps are on the stack below this event: the window stays until it has ended.
// A program load is asked about first: agreed, it is cancelled and the window closes after it.
void MainWindow::closeEvent(QCloseEvent* event) {
    if (loadWindow_) {
        event->ignore();
        // A second close while the question is open (a session manager asking again) is not asked twice.
        if (!closeAfterLoad_ && !askingToStopLoad_) {
            askingToStopLoad_ = true;
            closeAfterLoad_ = agreeToStopLoad();
            askingToStopLoad_ = false;
        }
        return;
    }
    if (transferGuard_.running()) {
        QApplication::beep();
        event->ignore();
        return;
    }
    if (closeKeepsDocument()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

}  // namespace formwell::shell
