// "Activate Barcode Types": the modal dialog that sets one field's barcode mask with 15 check
// boxes. Created anew for every opening, so nothing carries over from the previous one.
#pragma once

#include <QDialog>
#include <array>
#include <string>

#include "formwell/common/user_interaction.h"
#include "formwell/document/barcode_mask.h"

class QCheckBox;
class QPushButton;

namespace formwell::shell {

class BarcodeDialog : public QDialog {
    Q_OBJECT

  public:
    // `barcodeString` is the mask going in; `ui` shows the "Error barcode" box.
    BarcodeDialog(std::string barcodeString, UserInteraction& ui, QWidget* parent = nullptr);

    // The mask: the one given, until OK succeeds.
    const std::string& barcodeString() const { return barcodeString_; }

  public slots:
    // Builds the mask from the boxes and accepts, or shows "Error barcode" and stays open.
    void confirmChecks();

  private:
    // Sets the check boxes from the mask (run when the dialog is built).
    void showMask();

    std::string barcodeString_;
    UserInteraction& ui_;
    std::array<QCheckBox*, kSymbologyCount> checks_{};
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};

// Shows the dialog modally over `owner`. Returns true and updates `barcodeString` only on OK.
bool runBarcodeDialog(QWidget* owner, UserInteraction& ui, std::string& barcodeString);

}  // namespace formwell::shell
