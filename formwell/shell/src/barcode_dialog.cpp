#include "formwell/shell/barcode_dialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "legacy_name.h"

namespace formwell::shell {

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

BarcodeDialog::BarcodeDialog(std::string barcodeString, UserInteraction& ui, QWidget* parent)
    : QDialog(parent), barcodeString_(std::move(barcodeString)), ui_(ui) {
    setLegacyName(this, QStringLiteral("frmBarcode_Selection"));
    setWindowTitle("Activate Barcode Types");
    setWindowIcon(blankIcon());
    setModal(true);

    auto* frame = new QGroupBox("Barcode Types", this);
    setLegacyName(frame, QStringLiteral("BarcodeTypesFrame"));
    auto* boxes = new QVBoxLayout(frame);
    for (std::size_t i = 0; i < kSymbologies.size(); ++i) {
        auto* check = new QCheckBox(toQString(kSymbologies[i].caption), frame);
        setLegacyName(check, toQString(kSymbologies[i].checkBoxName));
        boxes->addWidget(check);
        checks_[i] = check;
    }

    okButton_ = new QPushButton("&OK", this);
    setLegacyName(okButton_, QStringLiteral("Ok_button"));
    okButton_->setDefault(true);
    cancelButton_ = new QPushButton("&Cancel", this);
    setLegacyName(cancelButton_, QStringLiteral("Cancel_Btn"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(okButton_, 1);
    buttons->addWidget(cancelButton_, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(buttons);

    connect(okButton_, &QPushButton::clicked, this, &BarcodeDialog::confirmChecks);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);

    showMask();
}

void BarcodeDialog::showMask() {
    const SymbologyChecks checked = checkedFromMask(barcodeString_);
    for (std::size_t i = 0; i < checks_.size(); ++i) {
        checks_[i]->setChecked(checked[i]);
    }
}

void BarcodeDialog::confirmChecks() {
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

bool runBarcodeDialog(QWidget* owner, UserInteraction& ui, std::string& barcodeString) {
    BarcodeDialog dialog(barcodeString, ui, owner);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    barcodeString = dialog.barcodeString();
    return true;
}

}  // namespace formwell::shell
