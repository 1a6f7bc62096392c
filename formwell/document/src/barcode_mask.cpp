#include "formwell/document/barcode_mask.h"

namespace formwell {

SymbologyChecks checkedFromMask(std::string_view mask) {
    SymbologyChecks checked{};
    for (std::size_t i = 0; i < kSymbologies.size(); ++i) {
        const auto index = static_cast<std::size_t>(kSymbologies[i].position - 1);
        checked[i] = index < mask.size() && mask[index] == '1';
    }
    return checked;
}

std::optional<std::string> maskFromChecked(const SymbologyChecks& checked) {
    std::string mask(kBarcodeMaskLength, '0');
    bool any = false;
    for (std::size_t i = 0; i < kSymbologies.size(); ++i) {
        if (checked[i]) {
            mask[static_cast<std::size_t>(kSymbologies[i].position - 1)] = '1';
            any = true;
        }
    }
    if (!any) {
        return std::nullopt;
    }
    return mask;
}

Message noBarcodeMessage() {
    return critical(std::string(kNoBarcodeTitle), std::string(kNoBarcodeText));
}

}  // namespace formwell
