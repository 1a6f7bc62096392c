#include "formwell/shell/main_window.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPalette>
#include <QPushButton>
#include <QTableView>
#include <algorithm>
#include <array>
#include <set>

#include "formwell/shell/about_box.h"
#include "formwell/shell/barcode_dialog.h"
#include "formwell/shell/field_delegates.h"
#include "formwell/shell/field_table_model.h"
#include "formwell/shell/qt_interaction.h"
#include "legacy_name.h"
#include "screen_geometry.h"

namespace formwell::shell {

namespace {

constexpr int kWindowWidthTwips = 9600;
constexpr int kWindowHeightTwips = 7100;

// Design positions in pixels; resizing the window moves none of them.
constexpr int kBandHeightPx = 40;
constexpr int kButtonWidthPx = 80;
constexpr int kButtonHeightPx = 28;
constexpr int kBottomBandTopPx = 430;
constexpr int kBottomButtonWidthPx = 150;
constexpr int kMarginPx = 8;

const QColor kBandGrey(0xc0, 0xc0, 0xc0);

QWidget* greyBand(QWidget* parent, const char* name, const QRect& geometry) {
    auto* band = new QWidget(parent);
    setLegacyName(band, QString::fromLatin1(name));
    band->setGeometry(geometry);
    band->setAutoFillBackground(true);
    QPalette palette = band->palette();
    palette.setColor(QPalette::Window, kBandGrey);
    band->setPalette(palette);
    return band;
}

}  // namespace

QString startupDirectoryFrom(const QString& currentPath) {
    QString dir = QDir::toNativeSeparators(currentPath);
    while (dir.size() > 1 && dir.endsWith(QDir::separator()) && !dir.endsWith(QStringLiteral(":\\"))) {
        dir.chop(1);
    }
    if (dir.endsWith(QStringLiteral(":\\"))) {
        dir.chop(1);  // "C:\" -> "C:": files are found by appending the separator and the name
    }
    return dir;
}

MainWindow::MainWindow(MainWindowServices services, QWidget* parent)
    : QWidget(parent), browser_(std::move(services.browser)), starter_(std::move(services.starter)) {
    auto comrig = std::move(services.comrig);
    auto pushkit = std::move(services.pushkit);
    if (services.ui != nullptr) {
        ui_ = services.ui;
    } else {
        ownInteraction_ = std::make_unique<QtInteraction>(this);
        ui_ = ownInteraction_.get();
    }
    setLegacyName(this, QStringLiteral("Interface"));
    setWindowTitle(QStringLiteral("Formwell"));
    setWindowIcon(QIcon(QStringLiteral(":/formwell/formwell.png")));

    buildTopBand();
    buildGrid();
    buildBottomBand();
    setTabOrder();
    // The start-up directory is the current directory when the window is built.
    commands_ = std::make_unique<DocumentCommands>(
        *this, *ui_, startupDirectoryFrom(QDir::currentPath()).toStdString(), starter_,
        installedHelpFiles(QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString()));
    buildTransfers(std::move(comrig));
    buildProgramLoad(std::move(pushkit));
    placeOnScreen();

    // Start in viewing mode: the grid locked, Save and Cancel hidden.
    saveButton_->hide();
    cancelButton_->hide();
    applyViewingConfiguration();
}

MainWindow::~MainWindow() = default;

void MainWindow::placeOnScreen() {
    move(0, 0);
    resize(twipsToPixels(kWindowWidthTwips), twipsToPixels(kWindowHeightTwips));
}

QPushButton* MainWindow::addButton(QWidget* parent, const char* name, const QString& caption,
                                   const QRect& geometry) {
    auto* button = new QPushButton(caption, parent);
    setLegacyName(button, QString::fromLatin1(name));
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    return button;
}

void MainWindow::buildTopBand() {
    QWidget* band = greyBand(this, "TopBand", QRect(0, 0, twipsToPixels(kWindowWidthTwips), kBandHeightPx));
    const int y = (kBandHeightPx - kButtonHeightPx) / 2;
    auto at = [y](int x) { return QRect(x, y, kButtonWidthPx, kButtonHeightPx); };
    newButton_ = addButton(band, "NewINI", QStringLiteral("New ini"), at(8));
    openButton_ = addButton(band, "OpenINI", QStringLiteral("Open ini"), at(92));
    deleteButton_ = addButton(band, "cmdDelete", QStringLiteral("Delete"), at(220));
    modifyButton_ = addButton(band, "cmdModify", QStringLiteral("Modify"), at(304));
    exitButton_ = addButton(band, "cmdClose", QStringLiteral("Exit"), at(388));
    helpButton_ = addButton(band, "cmdHelp", QStringLiteral("Help"), at(472));
    aboutButton_ = addButton(band, "cmdAbout", QStringLiteral("About"), at(556));
    // Each pair shares one place; the mode decides which of the two is visible.
    saveButton_ = addButton(band, "cmdSave", QStringLiteral("Save"), modifyButton_->geometry());
    cancelButton_ = addButton(band, "cmdCancel", QStringLiteral("Cancel"), exitButton_->geometry());

    saveButton_->installEventFilter(this);
    exitButton_->installEventFilter(this);

    connect(newButton_, &QPushButton::clicked, this, [this] { commands_->newDocument(); });
    connect(openButton_, &QPushButton::clicked, this, [this] { commands_->openDocument(); });
    connect(deleteButton_, &QPushButton::clicked, this, [this] { commands_->deleteDocument(); });
    connect(modifyButton_, &QPushButton::clicked, this, [this] { commands_->modify(); });
    connect(saveButton_, &QPushButton::clicked, this, [this] { commands_->save(); });
    connect(cancelButton_, &QPushButton::clicked, this, [this] { commands_->cancelEditing(); });
    connect(exitButton_, &QPushButton::clicked, this, [this] { commands_->exit(); });
    connect(helpButton_, &QPushButton::clicked, this, [this] { commands_->showHelp(); });
    connect(aboutButton_, &QPushButton::clicked, this, &MainWindow::showAboutBox);
}

void MainWindow::buildGrid() {
    auto* label = new QLabel(QStringLiteral("INI File"), this);
    setLegacyName(label, QStringLiteral("IniFileLabel"));
    label->setGeometry(kMarginPx, 46, 120, 16);

    // Only the commands write the current file's path; every command reads it from here.
    currentFileEdit_ = new QLineEdit(this);
    setLegacyName(currentFileEdit_, QStringLiteral("CurrFile"));
    currentFileEdit_->setReadOnly(true);
    currentFileEdit_->setGeometry(kMarginPx, 64, 624, 22);
    label->setBuddy(currentFileEdit_);  // what a screen reader calls the box

    // How far a transfer has got, beside the "INI File" label.
    transferStatusLabel_ = new QLabel(this);
    setLegacyName(transferStatusLabel_, QStringLiteral("TransferStatus"));
    transferStatusLabel_->setGeometry(136, 46, 496, 16);
    transferStatusLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    auto* caption = new QLabel(QStringLiteral("Parameter Values"), this);
    setLegacyName(caption, QStringLiteral("ParamGridCaption"));
    caption->setGeometry(kMarginPx, 94, 624, 20);
    caption->setAlignment(Qt::AlignCenter);
    caption->setAutoFillBackground(true);
    QPalette captionPalette = caption->palette();
    captionPalette.setColor(QPalette::Window, QColor(0x00, 0x00, 0x80));
    captionPalette.setColor(QPalette::WindowText, Qt::white);
    caption->setPalette(captionPalette);

    model_ = new FieldTableModel(*ui_, this);
    delegate_ = new FieldItemDelegate(this);
    fieldGrid_ = new QTableView(this);
    setLegacyName(fieldGrid_, QStringLiteral("ParamGrid"));
    fieldGrid_->setGeometry(kMarginPx, 114, 624, 308);
    caption->setBuddy(fieldGrid_);
    fieldGrid_->setModel(model_);
    fieldGrid_->setItemDelegate(delegate_);
    fieldGrid_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    fieldGrid_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                                QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    fieldGrid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fieldGrid_->verticalHeader()->setDefaultSectionSize(20);
    fieldGrid_->setContextMenuPolicy(Qt::CustomContextMenu);
    fieldGrid_->installEventFilter(this);
    fieldGrid_->viewport()->installEventFilter(this);
    connect(fieldGrid_, &QWidget::customContextMenuRequested, this, &MainWindow::showGridMenu);
    // Queued: the modal dialog opens after the click has been handled, not inside the grid's handler.
    connect(delegate_, &FieldItemDelegate::barcodeButtonClicked, this, &MainWindow::editBarcodes,
            Qt::QueuedConnection);
}

void MainWindow::buildBottomBand() {
    QWidget* band = greyBand(this, "BottomBand",
                             QRect(0, kBottomBandTopPx, twipsToPixels(kWindowWidthTwips),
                                   twipsToPixels(kWindowHeightTwips) - kBottomBandTopPx));
    const int y = (band->height() - kButtonHeightPx) / 2;
    auto at = [y](int index) {
        return QRect(kMarginPx + index * (kBottomButtonWidthPx + kMarginPx), y, kBottomButtonWidthPx,
                     kButtonHeightPx);
    };
    portSettingsButton_ = addButton(band, "Setup", QStringLiteral("PC Configuration"), at(0));
    receiveButton_ = addButton(band, "Upload", QStringLiteral("Receive File From HHT"), at(1));
    loadProgramButton_ = addButton(band, "DownProg", QStringLiteral("Load Program In HHT"), at(2));
    transmitIniButton_ = addButton(band, "DownINI", QStringLiteral("Transmit ini File"), at(3));
}

void MainWindow::setTabOrder() {
    const std::array<QWidget*, 15> order = {
        openButton_,    newButton_,         saveButton_,        cancelButton_,    portSettingsButton_,
        receiveButton_, loadProgramButton_, transmitIniButton_, deleteButton_,    modifyButton_,
        exitButton_,    aboutButton_,       helpButton_,        currentFileEdit_, fieldGrid_};
    for (std::size_t i = 0; i + 1 < order.size(); ++i) {
        QWidget::setTabOrder(order[i], order[i + 1]);
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (watched == saveButton_) {
            applyEditingConfiguration();
        } else if (watched == exitButton_) {
            applyViewingConfiguration();
        }
    } else if (watched == fieldGrid_ && event->type() == QEvent::KeyPress &&
               static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete && fieldGrid_->hasFocus()) {
        confirmDeleteSelectedRows();
        return true;
    } else if (watched == fieldGrid_->viewport() && event->type() == QEvent::Resize) {
        applyColumnWidths();
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::applyEditingConfiguration() {
    model_->setEditing(true);
    for (QPushButton* b : {deleteButton_, modifyButton_, exitButton_, newButton_, openButton_}) {
        b->hide();
    }
    commands_->modeApplied(DocumentMode::Editing);
}

void MainWindow::applyViewingConfiguration() {
    model_->setEditing(false);
    newButton_->show();
    openButton_->show();
    saveButton_->hide();
    cancelButton_->hide();
    commands_->modeApplied(DocumentMode::Viewing);
}

void MainWindow::applyColumnWidths() {
    int total = 0;
    for (const FieldColumnInfo& column : kFieldColumns) {
        total += column.widthWeight;
    }
    const int available = fieldGrid_->viewport()->width();
    int used = 0;
    for (int c = 0; c < kFieldColumnCount; ++c) {
        // The last column takes what rounding left over, so together they fill the width exactly.
        const int width = c + 1 < kFieldColumnCount
                              ? available * kFieldColumns[static_cast<std::size_t>(c)].widthWeight / total
                              : available - used;
        fieldGrid_->setColumnWidth(c, width);
        used += width;
    }
}

void MainWindow::showEditingButtons() {
    saveButton_->show();
    cancelButton_->show();
    saveButton_->setFocus(Qt::OtherFocusReason);
    // A window that is not active takes no focus now; apply the mode directly instead of waiting.
    if (!saveButton_->hasFocus()) {
        applyEditingConfiguration();
    }
}

void MainWindow::showViewingButtons() {
    for (QPushButton* b : {deleteButton_, modifyButton_, exitButton_}) {
        b->show();
    }
    exitButton_->setFocus(Qt::OtherFocusReason);
    if (!exitButton_->hasFocus()) {
        applyViewingConfiguration();
    }
}

void MainWindow::resetGrid(const FieldRows& rows) {
    model_->resetRows(rows);
    if (model_->rowCount() > 0) {
        fieldGrid_->setCurrentIndex(model_->index(0, 0));
    }
}

FieldRows MainWindow::gridRows() const {
    return model_->rows();
}

void MainWindow::showCurrentFile(const std::string& path) {
    currentFileEdit_->setText(QString::fromStdString(path));
}

void MainWindow::closeWindow() {
    close();
}

void MainWindow::showAboutBox() {
    AboutBox about(*ui_, browser_, this);
    about.exec();
}

void MainWindow::editBarcodes(const QModelIndex& index) {
    if (!index.isValid() || index.model() != model_ || !model_->isEditing()) {
        return;
    }
    const QString text = index.data(Qt::EditRole).toString();
    barcodeString_ = text.isEmpty() ? std::string(kDefaultBarcodeMask) : text.toLatin1().toStdString();
    runBarcodeDialog(this, *ui_, barcodeString_);
    model_->setData(model_->index(index.row(), index.column()), barcodeString());
}

std::set<int> MainWindow::selectedRows() const {
    std::set<int> rows;
    for (const QModelIndex& index : fieldGrid_->selectionModel()->selectedIndexes()) {
        if (!model_->isNewRowLine(index.row())) {
            rows.insert(index.row());
        }
    }
    return rows;
}

void MainWindow::deleteSelectedRows() {
    if (!model_->isEditing()) {
        return;
    }
    const std::set<int> rows = selectedRows();
    // From the bottom up, so the row numbers still to remove stay valid.
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        model_->removeRows(*it, 1);
    }
}

// A key is pressed by accident more easily than a menu entry is chosen, so the key asks first.
void MainWindow::confirmDeleteSelectedRows() {
    const std::size_t count = selectedRows().size();
    if (!model_->isEditing() || count == 0) {
        return;
    }
    const std::string text =
        count == 1 ? std::string("Delete 1 row?") : "Delete " + std::to_string(count) + " rows?";
    if (ui_->show(question("Confirm Action", text)) == Answer::Yes) {
        deleteSelectedRows();
    }
}

bool MainWindow::closeKeepsDocument() {
    // An editor still open in the grid holds typed text that is part of the edits.
    if (QWidget* editor = fieldGrid_->indexWidget(fieldGrid_->currentIndex())) {
        emit delegate_->commitData(editor);
    }
    return !commands_->mayClose();
}

void MainWindow::showGridMenu(const QPoint& position) {
    const QModelIndex under = fieldGrid_->indexAt(position);
    if (under.isValid() && !fieldGrid_->selectionModel()->isSelected(under)) {
        fieldGrid_->selectionModel()->select(under,
                                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    QMenu menu(this);
    QAction* remove = menu.addAction(QStringLiteral("Delete Row"));
    remove->setEnabled(model_->isEditing() && under.isValid() && !model_->isNewRowLine(under.row()));
    if (menu.exec(fieldGrid_->viewport()->mapToGlobal(position)) == remove) {
        deleteSelectedRows();
    }
}

}  // namespace formwell::shell
