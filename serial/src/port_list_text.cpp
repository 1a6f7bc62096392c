#include "serial/port_list.h"

namespace serial {

std::string usbIdentityText(const UsbIdentity& usb) {
    std::string text = "USB " + usb.vendorId + ":" + usb.productId;
    for (const std::string* word : {&usb.manufacturer, &usb.product}) {
        if (!word->empty()) {
            text += " " + *word;
        }
    }
    if (!usb.serial.empty()) {
        text += ", serial " + usb.serial;
    }
    return text;
}

}  // namespace serial
