// The device behind the chosen Com option, beside PC Configuration's port choice: what the port opens
// now and why (the COM<n> variable, the stored choice or the default), whether it is there, may be
// opened and is free, and the USB adapter's identity; and the choice of another device, from the
// serial devices present (their stable names first) or typed. The choice is kept per user on Save,
// so the window, formwell-cli and both libraries open that device. Linux only: on Windows a COM
// number is the system's name for the port, and the box stays hidden.
#pragma once

#include <QGroupBox>
#include <string>

class QComboBox;
class QFileSystemWatcher;
class QLabel;

namespace formwell::shell {

// What port n opens, in a sentence or two: "COM2 opens /dev/serial/by-id/usb-FTDI_... (stored) =
// /dev/ttyUSB1: USB 0403:6001 FTDI FT232R USB UART, serial A10K; you may open it, free."
std::string portDeviceText(int portNumber);
// What port n will open once `chosen` is kept ("" = its default), before it is.
std::string choiceText(int portNumber, const std::string& chosen);

class PortDeviceBox : public QGroupBox {
  public:
    explicit PortDeviceBox(QWidget* parent);

    // Shows port n (1 to 4): its stored device in the choice, what it opens beneath. 0: no port chosen.
    void showPort(int portNumber);
    // Keeps what the choice holds as port n's device (an empty choice forgets it), when it differs
    // from what is kept. False with the reason in `error`.
    bool keepChoice(std::string& error);

  private:
    void fillDeviceList();
    void describeChoice();
    void watchDeviceFolders();

    int port_ = 0;
    QComboBox* device_ = nullptr;
    QLabel* status_ = nullptr;
    QFileSystemWatcher* watcher_ = nullptr;
};

}  // namespace formwell::shell
