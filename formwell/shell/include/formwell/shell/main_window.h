// Formwell's main window: the current INI file, the field grid, the document commands in the top
// band and the terminal transfers in the bottom band. Which button pair is shown (Modify/Exit or
// Save/Cancel) and whether the grid is locked both follow the input focus: Save receiving the focus
// means editing, Exit receiving it means viewing. The commands themselves live in DocumentCommands.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>
#include <string>

#include "formwell/shell/document_commands.h"
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
};

class MainWindow : public QWidget, public DocumentWindow {
    Q_OBJECT
    Q_PROPERTY(QString BarcodeString READ barcodeString WRITE setBarcodeString)

  public:
    explicit MainWindow(QWidget* parent = nullptr) : MainWindow(MainWindowServices{}, parent) {}
    explicit MainWindow(MainWindowServices services, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The mask passed to and from the barcode dialog.
    std::string BarcodeString;
    QString barcodeString() const { return QString::fromStdString(BarcodeString); }
    void setBarcodeString(const QString& mask) { BarcodeString = mask.toStdString(); }

    // Where mbx.dat, import.txt and readme.txt live: the current directory when the window loaded.
    const std::string& startupDirectory() const { return commands_->startupDirectory(); }
    DocumentCommands& commands() { return *commands_; }
    FieldTableModel& fieldModel() { return *model_; }
    UserInteraction& interaction() { return *ui_; }

    // DocumentWindow
    void showEditingButtons() override;
    void showViewingButtons() override;
    void resetGrid(const std::vector<FieldDefinition>& rows) override;
    std::vector<FieldDefinition> gridRows() const override;
    void showCurrentFile(const std::string& path) override;
    void closeWindow() override;

  public slots:
    void showAboutBox();
    // The Barcodes button of a grid cell: the dialog edits BarcodeString, which goes back into the
    // cell whether the dialog ended with OK or Cancel.
    void editBarcodes(const QModelIndex& index);
    void deleteSelectedRows();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void placeOnScreen();
    void buildTopBand();
    void buildGrid();
    void buildBottomBand();
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

    FieldTableModel* model_ = nullptr;
    FieldItemDelegate* delegate_ = nullptr;
    QTableView* ParamGrid = nullptr;
    QLineEdit* CurrFile = nullptr;
    QPushButton* NewINI = nullptr;
    QPushButton* OpenINI = nullptr;
    QPushButton* cmdDelete = nullptr;
    QPushButton* cmdModify = nullptr;
    QPushButton* cmdSave = nullptr;
    QPushButton* cmdClose = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdHelp = nullptr;
    QPushButton* cmdAbout = nullptr;
    QPushButton* Setup = nullptr;
    QPushButton* Upload = nullptr;
    QPushButton* DownProg = nullptr;
    QPushButton* DownINI = nullptr;
};

}  // namespace formwell::shell
