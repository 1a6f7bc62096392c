#include "formwell/shell/barcode_dialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace formwell {

namespace {
QString toQString(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// The dialog deliberately shows no picture in its title bar, unlike the program's other windows.
QIcon blankIcon() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    return QIcon(pixmap);
}
}  // namespace

frmBarcode_Selection::frmBarcode_Selection(std::string barcodeString, UserInteraction& ui, QWidget* parent)
    : QDialog(parent), barcodeString_(std::move(barcodeString)), ui_(ui) {
    setObjectName("frmBarcode_Selection");
    setWindowTitle("Activate Barcode Types");
    setWindowIcon(blankIcon());
    setModal(true);

    auto* frame = new QGroupBox("Barcode Types", this);
    frame->setObjectName("BarcodeTypesFrame");
    auto* boxes = new QVBoxLayout(frame);
    for (std::size_t i = 0; i < kSymbologies.size(); ++i) {
        auto* check = new QCheckBox(toQString(kSymbologies[i].caption), frame);
        check->setObjectName(toQString(kSymbologies[i].checkBoxName));
        boxes->addWidget(check);
        checks_[i] = check;
    }

    okButton_ = new QPushButton("&OK", this);
    okButton_->setObjectName("Ok_button");
    okButton_->setDefault(true);
    cancelButton_ = new QPushButton("&Cancel", this);
    cancelButton_->setObjectName("Cancel_Btn");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(okButton_, 1);
    buttons->addWidget(cancelButton_, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(buttons);

    connect(okButton_, &QPushButton::clicked, this, &frmBarcode_Selection::Ok_button_Click);
    connect(cancelButton_, &QPushButton::clicked, this, &frmBarcode_Selection::Cancel_Btn_Click);

    Form_Load();
}

void frmBarcode_Selection::Form_Load() {
    const SymbologyChecks checked = checkedFromMask(barcodeString_);
    for (std::size_t i = 0; i < checks_.size(); ++i) {
        checks_[i]->setChecked(checked[i]);
    }
}

void frmBarcode_Selection::Ok_button_Click() {
    SymbologyChecks checked{};
    for (std::size_t i = 0; i < checks_.size(); ++i) {
        checked[i] = checks_[i]->checkState() == Qt::Checked;
    }
    std::optional<std::string> mask = maskFromChecked(checked);
    if (!mask) {
        // The terminal cannot scan a field with every symbology off: keep the dialog open.
        ui_.show(noBarcodeMessage());
        return;
    }
    barcodeString_ = std::move(*mask);
    accept();
}

void frmBarcode_Selection::Cancel_Btn_Click() {
    reject();
}

bool runBarcodeDialog(QWidget* owner, UserInteraction& ui, std::string& barcodeString) {
    frmBarcode_Selection dialog(barcodeString, ui, owner);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    barcodeString = dialog.barcodeString();
    return true;
}

}  // namespace formwell
