#include "port_device_box.h"

#include <QComboBox>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QLineEdit>
#include <optional>

#include "legacy_name.h"
#include "serial/port_list.h"
#include "serial/port_map.h"
#include "serial/serial_device.h"

namespace formwell::shell {

namespace {

QString local(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

const char* originWords(serial::DeviceOrigin origin) {
    switch (origin) {
        case serial::DeviceOrigin::Variable:
            return "set by the variable COM%1, which wins while it is set";
        case serial::DeviceOrigin::Stored:
            return "chosen here";
        case serial::DeviceOrigin::Given:
            return "given to this run";
        case serial::DeviceOrigin::Default:
        case serial::DeviceOrigin::None:
            break;
    }
    return "the default";
}

std::string usability(const serial::DeviceFacts& d) {
    if (!d.present) {
        return "it is not there now";
    }
    if (!d.accessKnown) {
        return "it is there";
    }
    std::string text = d.mayOpen ? "you may open it" : "you may not open it (join the dialout group)";
    return text + (d.heldBy.empty() ? ", free" : ", in use by " + d.heldBy);
}

// ": USB 0403:6001 FTDI ...; you may open it, free." and the latency timer where it costs.
std::string deviceFactsText(const std::string& path) {
    const serial::DeviceFacts facts = serial::describeDevice(path);
    std::string text = facts.usb ? ": " + serial::usbIdentityText(*facts.usb) : std::string();
    text += "; " + usability(facts) + ".";
    if (facts.latencyTimerMs && *facts.latencyTimerMs > serial::kLowLatencyTimerMs) {
        text += " Its latency timer holds each answer up to " + std::to_string(*facts.latencyTimerMs) +
                " ms (formwell-cli ports says how to lower it).";
    }
    return text;
}

}  // namespace

std::string portDeviceText(int portNumber) {
    const std::string name = "COM" + std::to_string(portNumber);
    const std::optional<std::string> path = serial::devicePathForPort(portNumber);
    if (!path) {
        return name + " names no device.";
    }
    const serial::DeviceOrigin origin = serial::deviceOriginForPort(portNumber);
    std::string why = originWords(origin);
    if (const std::size_t at = why.find("%1"); at != std::string::npos) {
        why.replace(at, 2, std::to_string(portNumber));
    }
    return name + " opens " + *path + " (" + why + ")" + deviceFactsText(*path);
}

std::string choiceText(int portNumber, const std::string& chosen) {
    const std::string name = "COM" + std::to_string(portNumber);
    const std::string opens = chosen.empty() ? serial::defaultDeviceForPort(portNumber) : chosen;
    std::string text = "After Save, " + name + " opens " + (chosen.empty() ? "its default, " : "") + opens +
                       deviceFactsText(opens);
    if (serial::deviceOriginForPort(portNumber) == serial::DeviceOrigin::Variable) {
        text += " While the variable " + name + " is set, it opens " +
                serial::devicePathForPort(portNumber).value_or(std::string()) + " instead.";
    }
    return text;
}

PortDeviceBox::PortDeviceBox(QWidget* parent) : QGroupBox(QStringLiteral("Device"), parent) {
    setLegacyName(this, QStringLiteral("DeviceSelection"));
    device_ = new QComboBox(this);
    setLegacyName(device_, QStringLiteral("DevicePath"));
    device_->setEditable(true);
    device_->setInsertPolicy(QComboBox::NoInsert);
    device_->setGeometry(16, 26, 576, 24);
    device_->setToolTip(QStringLiteral("The device the chosen port opens; empty: its default"));
    status_ = new QLabel(this);
    setLegacyName(status_, QStringLiteral("DeviceStatus"));
    // The device names itself: what it says is shown as text, never taken for markup.
    status_->setTextFormat(Qt::PlainText);
    status_->setWordWrap(true);
    status_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    status_->setGeometry(16, 56, 576, 60);
    // A typed or picked device is described before it is kept, so a wrong path shows at once.
    connect(device_, &QComboBox::editTextChanged, this, [this] { describeChoice(); });
#ifdef _WIN32
    hide();
#else
    // An adapter plugged in or pulled out while the dialog is open shows in the list and beneath it.
    watcher_ = new QFileSystemWatcher(this);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, [this] {
        fillDeviceList();
        describeChoice();
        watchDeviceFolders();
    });
#endif
}

void PortDeviceBox::describeChoice() {
    if (port_ <= 0) {
        return;
    }
    const std::string chosen = device_->currentText().trimmed().toLocal8Bit().toStdString();
    status_->setText(local(chosen == serial::storedDeviceForPort(port_).value_or(std::string())
                               ? portDeviceText(port_)
                               : choiceText(port_, chosen)));
}

// /dev for the nodes, its by-id folder for the stable names (it comes and goes with the adapters),
// and the folder of the device the port opens. Not a folder typed half-way: that may be a busy one.
void PortDeviceBox::watchDeviceFolders() {
    if (watcher_ == nullptr) {
        return;
    }
    QStringList folders{QStringLiteral("/dev"), QStringLiteral("/dev/serial/by-id")};
    if (const std::optional<std::string> path = serial::devicePathForPort(port_); path && !path->empty()) {
        folders << QFileInfo(local(*path)).absolutePath();
    }
    folders.removeDuplicates();
    for (const QString& folder : folders) {
        if (!watcher_->directories().contains(folder) && QFileInfo(folder).isDir()) {
            watcher_->addPath(folder);
        }
    }
}

void PortDeviceBox::fillDeviceList() {
    const QString typed = device_->currentText();
    device_->clear();
    // A stable name survives a replug and a renumbering; the node's own name is offered when it
    // has none.
    for (const serial::DeviceFacts& d : serial::listSerialDevices()) {
        if (d.byId.empty()) {
            device_->addItem(local(d.path));
        }
        for (const std::string& stable : d.byId) {
            device_->addItem(local(stable));
        }
    }
    device_->setEditText(typed);
}

void PortDeviceBox::showPort(int portNumber) {
    port_ = portNumber;
    fillDeviceList();
    if (portNumber <= 0) {
        device_->setEditText(QString());
        status_->setText(QStringLiteral("Choose a port to see the device it opens."));
        return;
    }
    device_->setEditText(local(serial::storedDeviceForPort(portNumber).value_or(std::string())));
    device_->lineEdit()->setPlaceholderText(
        QStringLiteral("empty: %1, unless the variable COM%2 names another")
            .arg(local(serial::defaultDeviceForPort(portNumber)))
            .arg(portNumber));
    status_->setText(local(portDeviceText(portNumber)));
    watchDeviceFolders();
}

bool PortDeviceBox::keepChoice(std::string& error) {
#ifdef _WIN32
    (void)error;
    return true;
#else
    if (port_ <= 0) {
        return true;
    }
    const std::string chosen = device_->currentText().trimmed().toLocal8Bit().toStdString();
    if (chosen == serial::storedDeviceForPort(port_).value_or(std::string())) {
        return true;
    }
    if (!serial::storeDeviceForPort(port_, chosen, error)) {
        return false;
    }
    showPort(port_);
    return true;
#endif
}

}  // namespace formwell::shell
