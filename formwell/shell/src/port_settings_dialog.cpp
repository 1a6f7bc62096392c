#include "formwell/shell/port_settings_dialog.h"

#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHelpEvent>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QToolTip>
#include <array>
#include <filesystem>

#include "formwell/common/app_error.h"
#include "formwell/link/port_settings.h"
#include "legacy_name.h"
#include "port_device_box.h"
#include "screen_geometry.h"

namespace formwell::shell {

namespace {

constexpr int kWindowWidthTwips = 9600;
constexpr int kWindowHeightTwips = 7100;
constexpr int kBandHeightPx = 40;
constexpr int kButtonWidthPx = 80;
constexpr int kButtonHeightPx = 28;

constexpr std::array<const char*, 4> kPortTexts = {"Com1:", "Com2:", "Com3:", "Com4:"};
constexpr const char* kCradle = "0";
constexpr const char* kIrda = "1";

template <typename T>
T* named(T* widget, const char* name) {
    setLegacyName(widget, QString::fromLatin1(name));
    return widget;
}

QComboBox* comboBox(QWidget* parent, const char* name, std::initializer_list<const char*> items) {
    auto* box = named(new QComboBox(parent), name);
    // Any text it shows is saved unchanged, whether picked from the list or read from the file.
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    for (const char* item : items) {
        box->addItem(QString::fromLatin1(item));
    }
    box->setCurrentIndex(-1);
    return box;
}

QString latin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string latin1(const QString& text) {
    return text.toLatin1().toStdString();
}

}  // namespace

PortSettingsDialog::PortSettingsDialog(UserInteraction& ui, std::string settingsFile, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      ui_(ui),
      settingsFile_(std::move(settingsFile)) {
    setLegacyName(this, QStringLiteral("Parameter"));
    setWindowTitle(QStringLiteral("PC Configuration"));
    setWindowIcon(QIcon(QStringLiteral(":/formwell/formwell.png")));
    setAttribute(Qt::WA_DeleteOnClose);
    build();
    move(0, 0);
    setFixedSize(twipsToPixels(kWindowWidthTwips), twipsToPixels(kWindowHeightTwips));
    loadFromFile();
    cmdSave->hide();
    cmdCancel->hide();
    enterViewMode();
}

void PortSettingsDialog::build() {
    auto* band = named(new QWidget(this), "Frame1");
    band->setGeometry(0, 0, twipsToPixels(kWindowWidthTwips), kBandHeightPx);
    band->setAutoFillBackground(true);
    QPalette palette = band->palette();
    palette.setColor(QPalette::Window, QColor(0xc0, 0xc0, 0xc0));
    band->setPalette(palette);
    const int y = (kBandHeightPx - kButtonHeightPx) / 2;
    auto button = [&](const char* name, const char* caption, int x) {
        auto* b = named(new QPushButton(QString::fromLatin1(caption), band), name);
        b->setGeometry(x, y, kButtonWidthPx, kButtonHeightPx);
        b->setAutoDefault(false);
        return b;
    };
    cmdModify = button("cmdModify", "Modify", 8);
    cmdClose = button("cmdClose", "Close", 92);
    // Each pair shares one place; the mode decides which of the two is visible.
    cmdSave = button("cmdSave", "Save", 8);
    cmdCancel = button("cmdCancel", "Cancel", 92);
    cmdSave->installEventFilter(this);
    cmdClose->installEventFilter(this);
    connect(cmdModify, &QPushButton::clicked, this, &PortSettingsDialog::modify);
    connect(cmdSave, &QPushButton::clicked, this, &PortSettingsDialog::save);
    connect(cmdCancel, &QPushButton::clicked, this, &PortSettingsDialog::cancel);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);

    MainFrame = named(new QFrame(this), "MainFrame");
    MainFrame->setGeometry(8, 48, 624, 417);

    auto* ports = named(new QGroupBox(QStringLiteral("PC Port Selection"), MainFrame), "Selection");
    ports->setGeometry(8, 8, 200, 150);
    for (int i = 0; i < 4; ++i) {
        const std::string name = "Com" + std::to_string(i + 1);
        Com[i] = named(new QRadioButton(QStringLiteral("Com %1").arg(i + 1), ports), name.c_str());
        Com[i]->setGeometry(16, 24 + 30 * i, 120, 24);
        const std::string text = kPortTexts[static_cast<std::size_t>(i)];
        connect(Com[i], &QRadioButton::clicked, this, [this, text, i] {
            selectedPort_ = text;
            deviceBox_->showPort(i + 1);
        });
        Com[i]->installEventFilter(this);  // its tooltip: the device it opens, as it is at that moment
    }

    auto* connector =
        named(new QGroupBox(QStringLiteral("Connector Selection"), MainFrame), "MBXPortSelection");
    connector->setGeometry(8, 170, 200, 90);
    Cradle = named(new QRadioButton(QStringLiteral("Cradle"), connector), "Cradle");
    Cradle->setGeometry(16, 24, 120, 24);
    IRDA = named(new QRadioButton(QStringLiteral("IRDA"), connector), "IRDA");
    IRDA->setGeometry(16, 54, 120, 24);
    // Never offered: the cradle is the only connector the transfers use. A file may still name it.
    IRDA->setEnabled(false);
    connect(Cradle, &QRadioButton::clicked, this, [this] { selectedConnector_ = kCradle; });
    connect(IRDA, &QRadioButton::clicked, this, [this] { selectedConnector_ = kIrda; });

    auto* line = named(new QGroupBox(QStringLiteral("PC Port Parameters"), MainFrame), "Frame2");
    line->setGeometry(224, 8, 392, 190);
    auto row = [line](int index, const char* labelName, const char* caption, QComboBox* box) {
        auto* label = named(new QLabel(QString::fromLatin1(caption), line), labelName);
        label->setGeometry(16, 30 + 38 * index, 110, 24);
        label->setBuddy(box);
        box->setGeometry(140, 30 + 38 * index, 120, 24);
    };
    Baud = comboBox(line, "Baud", {"9600", "19200"});
    Data = comboBox(line, "Data", {"8"});
    Parity = comboBox(line, "Parity", {"N"});
    Stop = comboBox(line, "Stop", {"1"});
    row(0, "BaudL", "Baud Rate", Baud);
    row(1, "DataL", "Data Bits", Data);
    row(2, "ParityL", "Parity", Parity);
    row(3, "StopL", "Stop Bit", Stop);

    deviceBox_ = new PortDeviceBox(MainFrame);
    deviceBox_->setGeometry(8, 272, 608, 130);

    // Close comes first: it takes the focus when the window opens, in view mode.
    QWidget* order[] = {cmdClose, cmdCancel, cmdModify, cmdSave, Com[0],
                        Com[1],   Com[2],    Com[3],    Cradle,  IRDA,
                        Baud,     Data,      Parity,    Stop,    deviceBox_->findChild<QComboBox*>()};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        QWidget::setTabOrder(order[i], order[i + 1]);
    }
}

// The file's columns into the controls. A file that is missing opens the window empty; one that
// cannot be read is reported and opens it empty too.
void PortSettingsDialog::loadFromFile() {
    link::PortSettingsText text;
    try {
        if (std::optional<std::string> line =
                link::readPortSettingsLine(std::filesystem::path(settingsFile_))) {
            text = link::parsePortSettingsLine(*line);
            selectedConnector_ = text.connector;
        }
    } catch (const AppError& e) {
        ui_.beep();
        ui_.show(plainNotice(e.text()));
    }
    selectedPort_ = text.port;
    Baud->setEditText(latin1(text.baud));
    Data->setEditText(latin1(text.dataBits));
    Parity->setEditText(latin1(text.parity));
    Stop->setEditText(latin1(text.stopBits));
    // Exactly, letter case included: "com1:" selects no port.
    int shownPort = 0;
    for (std::size_t i = 0; i < kPortTexts.size(); ++i) {
        if (selectedPort_ == kPortTexts[i]) {
            Com[i]->setChecked(true);
            shownPort = static_cast<int>(i) + 1;
        }
    }
    deviceBox_->showPort(shownPort);
    if (selectedConnector_ == kCradle) {
        Cradle->setChecked(true);
    } else if (selectedConnector_ == kIrda) {
        IRDA->setChecked(true);
    }
}

bool PortSettingsDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        for (int i = 0; i < 4; ++i) {
            if (watched == Com[i]) {
                const std::string text = portDeviceText(i + 1);
                QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(),
                                   QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())),
                                   Com[i]);
                return true;
            }
        }
    }
    if (event->type() == QEvent::FocusIn) {
        if (watched == cmdSave) {
            enterEditMode();
        } else if (watched == cmdClose) {
            enterViewMode();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void PortSettingsDialog::enterEditMode() {
    cmdModify->hide();
    cmdClose->hide();
    MainFrame->setEnabled(true);
}

void PortSettingsDialog::enterViewMode() {
    cmdModify->show();
    cmdClose->show();
    cmdSave->hide();
    cmdCancel->hide();
    MainFrame->setEnabled(false);
}

void PortSettingsDialog::modify() {
    cmdSave->show();
    cmdCancel->show();
    cmdSave->setFocus(Qt::OtherFocusReason);
    // A window that is not active takes no focus now; apply the mode directly instead of waiting.
    if (!cmdSave->hasFocus()) {
        enterEditMode();
    }
}

void PortSettingsDialog::save() {
    const link::PortSettingsText text{selectedPort_,
                                      latin1(Baud->currentText()),
                                      latin1(Data->currentText()),
                                      latin1(Parity->currentText()),
                                      latin1(Stop->currentText()),
                                      selectedConnector_};
    if (const std::optional<AppError> error =
            link::writePortSettingsFile(std::filesystem::path(settingsFile_), text)) {
        // The file is as it was; the window stays in edit mode with what the user entered.
        ui_.beep();
        ui_.show(plainNotice(error->text()));
        return;
    }
    // mbx.dat is written; a device that cannot be kept leaves the window in edit mode to try again.
    if (std::string why; !deviceBox_->keepChoice(why)) {
        ui_.beep();
        ui_.show(plainNotice("The port's device could not be kept: " + why));
        return;
    }
    cancel();  // back to view mode, as after Cancel
}

void PortSettingsDialog::cancel() {
    cmdModify->show();
    cmdClose->show();
    cmdClose->setFocus(Qt::OtherFocusReason);
    if (!cmdClose->hasFocus()) {
        enterViewMode();
    }
}

}  // namespace formwell::shell
