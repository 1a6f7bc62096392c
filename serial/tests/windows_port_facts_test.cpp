#include "windows_port_facts.h"

#include <gtest/gtest.h>

namespace serial::detail {
namespace {

TEST(WindowsPortFacts, AdaptersNameTheirKindIdentityAndDriverAndABuiltInPortOnlyItsKind) {
    struct Case {
        const char* what;
        SystemPortRecord record;
        std::string kind;
        std::string identity;  // empty: no USB identity
    };
    const Case cases[] = {
        {"an FTDI adapter under its own driver",
         {"COM3", "USB Serial Port (COM3)", "USB Serial Port", "FT232R USB UART", "FTDI", "FTDIBUS",
          "FTDIBUS\\COMPORT&VID_0403&PID_6001", "FTDIBUS\\VID_0403+PID_6001+A10K3XYZA\\0000", 16},
         "USB Serial Port",
         "USB 0403:6001 FTDI FT232R USB UART, serial A10K3XYZ"},
        {"a USB modem under the generic driver, letters in its IDs",
         {"COM12", "USB Serial Device (COM12)", "USB Serial Device", "", "Microsoft", "usbser",
          "USB\\VID_2A03&PID_0043&REV_0001", "USB\\VID_2A03&PID_0043\\75735323", std::nullopt},
         "USB Serial Device",
         "USB 2a03:0043, serial 75735323"},
        {"an adapter without a serial number of its own",
         {"COM4", "USB-SERIAL CH340 (COM4)", "USB-SERIAL CH340", "USB Serial", "wch.cn", "CH341SER_A64",
          "USB\\VID_1A86&PID_7523&REV_0264", "USB\\VID_1A86&PID_7523\\5&2D6A7F1&0&2", std::nullopt},
         "USB-SERIAL CH340",
         "USB 1a86:7523 wch.cn USB Serial"},
        {"the PC's own port",
         {"COM1", "Communications Port (COM1)", "Communications Port", "", "(Standard port types)", "Serial",
          "ACPI\\PNP0501", "ACPI\\PNP0501\\1", std::nullopt},
         "Communications Port",
         ""},
        {"a port without a friendly name",
         {"COM7", "", "", "", "", "", "", "", std::nullopt},
         "COM port",
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const DeviceFacts facts = factsFromSystemPort(c.record);
        EXPECT_EQ(facts.path, c.record.portName);
        EXPECT_EQ(facts.kind, c.kind);
        EXPECT_TRUE(facts.present);
        EXPECT_EQ(facts.usb ? usbIdentityText(*facts.usb) : std::string(), c.identity);
        EXPECT_EQ(facts.driver, c.record.service);
        EXPECT_EQ(facts.latencyTimerMs, c.record.latencyTimerMs);
    }
}

}  // namespace
}  // namespace serial::detail
