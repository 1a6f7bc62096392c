#include "formwell/shell/main_window.h"

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
        *this, *ui_, startupDirectoryFrom(QDir::currentPath()).toStdString(), starter_);
    buildTransfers(std::move(comrig));
    buildProgramLoad(std::move(pushkit));
    placeOnScreen();

    // Start in viewing mode: the grid locked, Save and Cancel hidden.
    cmdSave->hide();
    cmdCancel->hide();
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
    NewINI = addButton(band, "NewINI", QStringLiteral("New ini"), at(8));
    OpenINI = addButton(band, "OpenINI", QStringLiteral("Open ini"), at(92));
    cmdDelete = addButton(band, "cmdDelete", QStringLiteral("Delete"), at(220));
    cmdModify = addButton(band, "cmdModify", QStringLiteral("Modify"), at(304));
    cmdClose = addButton(band, "cmdClose", QStringLiteral("Exit"), at(388));
    cmdHelp = addButton(band, "cmdHelp", QStringLiteral("Help"), at(472));
    cmdAbout = addButton(band, "cmdAbout", QStringLiteral("About"), at(556));
    // Each pair shares one place; the mode decides which of the two is visible.
    cmdSave = addButton(band, "cmdSave", QStringLiteral("Save"), cmdModify->geometry());
    cmdCancel = addButton(band, "cmdCancel", QStringLiteral("Cancel"), cmdClose->geometry());

    cmdSave->installEventFilter(this);
    cmdClose->installEventFilter(this);

    connect(NewINI, &QPushButton::clicked, this, [this] { commands_->newDocument(); });
    connect(OpenINI, &QPushButton::clicked, this, [this] { commands_->openDocument(); });
    connect(cmdDelete, &QPushButton::clicked, this, [this] { commands_->deleteDocument(); });
    connect(cmdModify, &QPushButton::clicked, this, [this] { commands_->modify(); });
    connect(cmdSave, &QPushButton::clicked, this, [this] { commands_->save(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { commands_->cancelEditing(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { commands_->exit(); });
    connect(cmdHelp, &QPushButton::clicked, this, [this] { commands_->showHelp(); });
    connect(cmdAbout, &QPushButton::clicked, this, &MainWindow::showAboutBox);
}

void MainWindow::buildGrid() {
    auto* label = new QLabel(QStringLiteral("INI File"), this);
    setLegacyName(label, QStringLiteral("IniFileLabel"));
    label->setGeometry(kMarginPx, 46, 120, 16);

    // Only the commands write the current file's path; every command reads it from here.
    CurrFile = new QLineEdit(this);
    setLegacyName(CurrFile, QStringLiteral("CurrFile"));
    CurrFile->setReadOnly(true);
    CurrFile->setGeometry(kMarginPx, 64, 624, 22);

    // How far a transfer has got, beside the "INI File" label.
    TransferStatus = new QLabel(this);
    setLegacyName(TransferStatus, QStringLiteral("TransferStatus"));
    TransferStatus->setGeometry(136, 46, 496, 16);
    TransferStatus->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

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
    ParamGrid = new QTableView(this);
    setLegacyName(ParamGrid, QStringLiteral("ParamGrid"));
    ParamGrid->setGeometry(kMarginPx, 114, 624, 308);
    ParamGrid->setModel(model_);
    ParamGrid->setItemDelegate(delegate_);
    ParamGrid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ParamGrid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                               QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    ParamGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ParamGrid->verticalHeader()->setDefaultSectionSize(20);
    ParamGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    ParamGrid->installEventFilter(this);
    ParamGrid->viewport()->installEventFilter(this);
    connect(ParamGrid, &QWidget::customContextMenuRequested, this, &MainWindow::showGridMenu);
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
    Setup = addButton(band, "Setup", QStringLiteral("PC Configuration"), at(0));
    Upload = addButton(band, "Upload", QStringLiteral("Receive File From HHT"), at(1));
    DownProg = addButton(band, "DownProg", QStringLiteral("Load Program In HHT"), at(2));
    DownINI = addButton(band, "DownINI", QStringLiteral("Transmit ini File"), at(3));
}

void MainWindow::setTabOrder() {
    const std::array<QWidget*, 15> order = {OpenINI,  NewINI,   cmdSave, cmdCancel, Setup,
                                            Upload,   DownProg, DownINI, cmdDelete, cmdModify,
                                            cmdClose, cmdAbout, cmdHelp, CurrFile,  ParamGrid};
    for (std::size_t i = 0; i + 1 < order.size(); ++i) {
        QWidget::setTabOrder(order[i], order[i + 1]);
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (watched == cmdSave) {
            applyEditingConfiguration();
        } else if (watched == cmdClose) {
            applyViewingConfiguration();
        }
    } else if (watched == ParamGrid && event->type() == QEvent::KeyPress &&
               static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete && ParamGrid->hasFocus()) {
        deleteSelectedRows();
        return true;
    } else if (watched == ParamGrid->viewport() && event->type() == QEvent::Resize) {
        applyColumnWidths();
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::applyEditingConfiguration() {
    model_->setEditing(true);
    for (QPushButton* b : {cmdDelete, cmdModify, cmdClose, NewINI, OpenINI}) {
        b->hide();
    }
    commands_->modeApplied(DocumentMode::Editing);
}

void MainWindow::applyViewingConfiguration() {
    model_->setEditing(false);
    NewINI->show();
    OpenINI->show();
    cmdSave->hide();
    cmdCancel->hide();
    commands_->modeApplied(DocumentMode::Viewing);
}

void MainWindow::applyColumnWidths() {
    int total = 0;
    for (const FieldColumnInfo& column : kFieldColumns) {
        total += column.widthWeight;
    }
    const int available = ParamGrid->viewport()->width();
    int used = 0;
    for (int c = 0; c < kFieldColumnCount; ++c) {
        // The last column takes what rounding left over, so together they fill the width exactly.
        const int width = c + 1 < kFieldColumnCount
                              ? available * kFieldColumns[static_cast<std::size_t>(c)].widthWeight / total
                              : available - used;
        ParamGrid->setColumnWidth(c, width);
        used += width;
    }
}

void MainWindow::showEditingButtons() {
    cmdSave->show();
    cmdCancel->show();
    cmdSave->setFocus(Qt::OtherFocusReason);
    // A window that is not active takes no focus now; apply the mode directly instead of waiting.
    if (!cmdSave->hasFocus()) {
        applyEditingConfiguration();
    }
}

void MainWindow::showViewingButtons() {
    for (QPushButton* b : {cmdDelete, cmdModify, cmdClose}) {
        b->show();
    }
    cmdClose->setFocus(Qt::OtherFocusReason);
    if (!cmdClose->hasFocus()) {
        applyViewingConfiguration();
    }
}

void MainWindow::resetGrid(const FieldRows& rows) {
    model_->resetRows(rows);
    if (model_->rowCount() > 0) {
        ParamGrid->setCurrentIndex(model_->index(0, 0));
    }
}

FieldRows MainWindow::gridRows() const {
    return model_->rows();
}

void MainWindow::showCurrentFile(const std::string& path) {
    CurrFile->setText(QString::fromStdString(path));
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
    BarcodeString = text.isEmpty() ? std::string(kDefaultBarcodeMask) : text.toLatin1().toStdString();
    runBarcodeDialog(this, *ui_, BarcodeString);
    model_->setData(model_->index(index.row(), index.column()), QString::fromLatin1(BarcodeString.c_str()));
}

void MainWindow::deleteSelectedRows() {
    if (!model_->isEditing()) {
        return;
    }
    std::set<int> rows;
    for (const QModelIndex& index : ParamGrid->selectionModel()->selectedIndexes()) {
        if (!model_->isNewRowLine(index.row())) {
            rows.insert(index.row());
        }
    }
    // From the bottom up, so the row numbers still to remove stay valid.
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        model_->removeRows(*it, 1);
    }
}

void MainWindow::showGridMenu(const QPoint& position) {
    const QModelIndex under = ParamGrid->indexAt(position);
    if (under.isValid() && !ParamGrid->selectionModel()->isSelected(under)) {
        ParamGrid->selectionModel()->select(under,
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    QMenu menu(this);
    QAction* remove = menu.addAction(QStringLiteral("Delete Row"));
    remove->setEnabled(model_->isEditing() && under.isValid() && !model_->isNewRowLine(under.row()));
    if (menu.exec(ParamGrid->viewport()->mapToGlobal(position)) == remove) {
        deleteSelectedRows();
    }
}

}  // namespace formwell::shell
