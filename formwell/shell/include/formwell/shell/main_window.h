// Formwell's main window: the current INI file, the field grid, the document commands in the top
// band and the terminal transfers in the bottom band. Which button pair is shown (Modify/Exit or
// Save/Cancel) and whether the grid is locked both follow the input focus: Save receiving the focus
// means editing, Exit receiving it means viewing. The commands themselves live in DocumentCommands.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "formwell/link/comrig_table.h"
#include "formwell/link/program_load.h"
#include "formwell/link/transfer_commands.h"
#include "formwell/link/transfer_guard.h"
#include "formwell/shell/document_commands.h"
#include "formwell/shell/load_progress_window.h"
#include "formwell/shell/port_settings_dialog.h"
#include "formwell/shell/web_page_link.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace formwell::shell {

class FieldItemDelegate;
class FieldTableModel;

// The process's current directory as the start-up directory: native separators, no trailing one
// (except for a root, which is nothing without it).
QString startupDirectoryFrom(const QString& currentPath);

// What the window reaches outside itself; tests replace these.
struct MainWindowServices {
    UserInteraction* ui = nullptr;  // null: the window's own message boxes and file dialog
    BrowserLauncher browser = systemBrowserLauncher();
    ProgramStarter starter = systemProgramStarter();
    // The comrig the transfers talk through. Empty: the library bound by name, with the window kept
    // painting while a call waits.
    std::function<link::ComrigTable()> comrig = {};
    // The loader for Load Program In HHT. Empty: pushkit bound by name at the first load.
    std::function<link::PushkitTable()> pushkit = {};
};

class MainWindow : public QWidget, public DocumentWindow {
    Q_OBJECT
    Q_PROPERTY(QString BarcodeString READ barcodeString WRITE setBarcodeString)

  public:
    explicit MainWindow(QWidget* parent = nullptr) : MainWindow(MainWindowServices{}, parent) {}
    explicit MainWindow(MainWindowServices services, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The mask passed to and from the barcode dialog.
    QString barcodeString() const { return QString::fromLatin1(barcodeString_.c_str()); }
    void setBarcodeString(const QString& mask) { barcodeString_ = mask.toLatin1().toStdString(); }

    // Where mbx.dat, import.txt and readme.txt live: the current directory when the window loaded.
    const std::string& startupDirectory() const { return commands_->startupDirectory(); }
    DocumentCommands& commands() { return *commands_; }
    FieldTableModel& fieldModel() { return *model_; }
    UserInteraction& interaction() { return *ui_; }
    // One transfer at a time: every transfer command takes it; the bottom band's buttons are greyed
    // while it is held, and the window does not close.
    link::TransferGuard& transferGuard() { return transferGuard_; }
    link::LinkCommands& linkCommands() { return *linkCommands_; }
    link::ProgramLoad& programLoad() { return *programLoad_; }
    // The progress window of the program load under way, or null.
    LoadProgressWindow* loadProgressWindow() const { return loadWindow_.data(); }
    // The interaction transfer commands use: the window's own, with progress also in the status line.
    UserInteraction& transferInteraction() { return *transferUi_; }
    // The PC Configuration window while it is open.
    PortSettingsDialog* portSettingsDialog() const { return portSettingsDialog_.data(); }

    // DocumentWindow
    void showEditingButtons() override;
    void showViewingButtons() override;
    void resetGrid(const FieldRows& rows) override;
    FieldRows gridRows() const override;
    void showCurrentFile(const std::string& path) override;
    void closeWindow() override;

  public slots:
    void showAboutBox();
    // PC Configuration: opens the one Parameter window, or brings it forward when it is open.
    void showPortSettings();
    // The Barcodes button of a grid cell: the dialog edits the barcode mask, which goes back into the
    // cell whether the dialog ended with OK or Cancel.
    void editBarcodes(const QModelIndex& index);
    void deleteSelectedRows();
    // The Delete key: the selected rows go after a question naming how many.
    void confirmDeleteSelectedRows();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void placeOnScreen();
    void buildTopBand();
    void buildGrid();
    void buildBottomBand();
    void buildTransfers(std::function<link::ComrigTable()> comrig);
    void transferRunning(bool running);
    void showTransferProgress(const Progress& progress);
    void buildProgramLoad(std::function<link::PushkitTable()> pushkit);
    // Runs one load on a worker thread behind the modal progress window.
    link::LoadEnd runLoad(const link::DownloadArguments& arguments);
    // A close asked for during a load: true when the person agreed to stop it (the window closes
    // when the load has ended).
    bool agreeToStopLoad();
    // A close asked for with unsaved rows: true when the person kept the window open (or the save
    // failed).
    bool closeKeepsDocument();
    std::set<int> selectedRows() const;
    void setTabOrder();
    void applyEditingConfiguration();
    void applyViewingConfiguration();
    void applyColumnWidths();
    void showGridMenu(const QPoint& position);
    QPushButton* addButton(QWidget* parent, const char* name, const QString& caption, const QRect& geometry);

    std::unique_ptr<UserInteraction> ownInteraction_;
    UserInteraction* ui_ = nullptr;
    BrowserLauncher browser_;
    ProgramStarter starter_;
    std::unique_ptr<DocumentCommands> commands_;
    link::TransferHistory history_{link::historyFolder()};  // outlives the commands that write it
    link::TransferGuard transferGuard_;
    std::unique_ptr<UserInteraction> transferUi_;
    std::unique_ptr<link::LinkCommands> linkCommands_;
    QPointer<PortSettingsDialog> portSettingsDialog_;
    std::vector<QPointer<QWidget>> enabledBeforeTransfer_;
    std::function<link::PushkitTable()> bindLoader_;
    std::unique_ptr<link::ProgramLoad> programLoad_;
    QPointer<LoadProgressWindow> loadWindow_;
    bool closeAfterLoad_ = false;
    bool askingToStopLoad_ = false;

    std::string barcodeString_;

    // Each control also carries its legacy name as its object name (setLegacyName), by which tests and
    // scripts find it.
    FieldTableModel* model_ = nullptr;
    FieldItemDelegate* delegate_ = nullptr;
    QTableView* fieldGrid_ = nullptr;
    QLineEdit* currentFileEdit_ = nullptr;
    QLabel* transferStatusLabel_ = nullptr;
    QPushButton* newButton_ = nullptr;
    QPushButton* openButton_ = nullptr;
    QPushButton* deleteButton_ = nullptr;
    QPushButton* modifyButton_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* exitButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QPushButton* helpButton_ = nullptr;
    QPushButton* aboutButton_ = nullptr;
    QPushButton* portSettingsButton_ = nullptr;
    QPushButton* receiveButton_ = nullptr;
    QPushButton* loadProgramButton_ = nullptr;
    QPushButton* transmitIniButton_ = nullptr;
};

}  // namespace formwell::shell
