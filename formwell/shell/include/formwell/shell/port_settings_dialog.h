// The "PC Configuration" window (Parameter): the port, the connector and the line settings that
// mbx.dat holds. Not modal: the main window stays usable beside it. It opens in view mode with the
// file's values; Modify enters edit mode, Save writes the file and returns to view mode, Cancel
// returns without writing (the controls keep what was changed), Close closes it, and the next
// opening reads the file again. Which button pair shows, and whether the settings can be changed,
// follow the focus: Save receiving it means editing, Close receiving it means viewing.
#pragma once

#include <QWidget>
#include <string>

#include "formwell/common/user_interaction.h"

class QButtonGroup;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace formwell::shell {

class PortDeviceBox;

class PortSettingsDialog : public QWidget {
    Q_OBJECT

  public:
    // `settingsFile`: mbx.dat in the start-up directory.
    PortSettingsDialog(UserInteraction& ui, std::string settingsFile, QWidget* parent = nullptr);

    // The values the next Save writes (what the form holds besides the combo boxes' texts).
    const std::string& selectedPort() const { return selectedPort_; }
    const std::string& selectedConnector() const { return selectedConnector_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void build();
    void loadFromFile();
    void enterEditMode();
    void enterViewMode();
    void modify();
    void save();
    void cancel();

    UserInteraction& ui_;
    std::string settingsFile_;
    std::string selectedPort_;
    std::string selectedConnector_;  // "0", "1", a character read from the file, or empty

    QPushButton* cmdModify = nullptr;
    QPushButton* cmdSave = nullptr;
    QPushButton* cmdClose = nullptr;
    QPushButton* cmdCancel = nullptr;
    QFrame* MainFrame = nullptr;
    QRadioButton* Com[4] = {};
    QRadioButton* Cradle = nullptr;
    QRadioButton* IRDA = nullptr;
    QComboBox* Baud = nullptr;
    QComboBox* Data = nullptr;
    QComboBox* Parity = nullptr;
    QComboBox* Stop = nullptr;
    PortDeviceBox* deviceBox_ = nullptr;
};

}  // namespace formwell::shell
