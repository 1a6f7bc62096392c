// The port list read from the system's own list of ports: two adapters are put in the Ports class
// for the test (as a driver's installer would) and taken out again. Needs the right to add devices,
// which Wine gives and Windows gives an administrator; without it the test is skipped.
#include <windows.h>
// clang-format off: setupapi.h needs windows.h first
#include <setupapi.h>
// clang-format on

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "serial/port_list.h"

namespace serial {
namespace {

const GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

template <std::size_t N>
bool setProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property, const wchar_t (&text)[N]) {
    return ::SetupDiSetDeviceRegistryPropertyW(set, &device, property, reinterpret_cast<const BYTE*>(text),
                                               sizeof text) != FALSE;
}

// Devices registered for one test and removed when it ends.
class RegisteredPorts {
  public:
    RegisteredPorts() : set_(::SetupDiCreateDeviceInfoList(&kPortsClass, nullptr)) {}
    ~RegisteredPorts() {
        for (SP_DEVINFO_DATA& device : devices_) {
            ::SetupDiRemoveDevice(set_, &device);
        }
        ::SetupDiDestroyDeviceInfoList(set_);
    }

    template <std::size_t F, std::size_t H, std::size_t M, std::size_t P>
    bool add(const wchar_t (&friendly)[F], const wchar_t (&hardwareIds)[H], const wchar_t (&maker)[M],
             const wchar_t (&portName)[P], DWORD latencyMs) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (set_ == INVALID_HANDLE_VALUE || !::SetupDiCreateDeviceInfoW(set_, L"Ports", &kPortsClass, nullptr,
                                                                        nullptr, DICD_GENERATE_ID, &device)) {
            return false;
        }
        if (!setProperty(set_, device, SPDRP_FRIENDLYNAME, friendly) ||
            !setProperty(set_, device, SPDRP_HARDWAREID, hardwareIds) ||
            !setProperty(set_, device, SPDRP_MFG, maker) ||
            !::SetupDiRegisterDeviceInfo(set_, &device, 0, nullptr, nullptr, nullptr)) {
            return false;
        }
        devices_.push_back(device);
        const HKEY key =
            ::SetupDiCreateDevRegKeyW(set_, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
        if (key == INVALID_HANDLE_VALUE) {
            return false;
        }
        const bool written =
            ::RegSetValueExW(key, L"PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(portName),
                             sizeof portName) == ERROR_SUCCESS &&
            ::RegSetValueExW(key, L"LatencyTimer", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&latencyMs),
                             sizeof latencyMs) == ERROR_SUCCESS;
        ::RegCloseKey(key);
        return written;
    }

  private:
    HDEVINFO set_;
    std::vector<SP_DEVINFO_DATA> devices_;
};

TEST(PortListWin32, TheSystemsPortsComeWithTheirFriendlyNamesAndIdentityInNumberOrder) {
    RegisteredPorts ports;
    if (!ports.add(L"USB Serial Port (COM27)", L"USB\\VID_0403&PID_6001&REV_0600\0", L"FTDI", L"COM27", 16) ||
        !ports.add(L"USB Serial Device (COM103)", L"USB\\VID_2A03&PID_0043\0", L"Microsoft", L"COM103", 1)) {
        // Only a refusal to add devices is a reason not to test; anything else is a fault of the test.
        const DWORD error = ::GetLastError();
        if (error == ERROR_ACCESS_DENIED) {
            GTEST_SKIP() << "this user may not add devices";
        }
        FAIL() << "the test's adapters could not be registered (error " << error << ")";
    }
    const std::vector<DeviceFacts> listed = listSerialDevices();
    const auto at = [&listed](const std::string& name) {
        return std::find_if(listed.begin(), listed.end(),
                            [&name](const DeviceFacts& d) { return d.path == name; });
    };
    ASSERT_NE(at("COM27"), listed.end());
    ASSERT_NE(at("COM103"), listed.end());
    EXPECT_LT(at("COM27"), at("COM103"));

    const DeviceFacts& ftdi = *at("COM27");
    EXPECT_EQ(ftdi.kind, "USB Serial Port");
    EXPECT_TRUE(ftdi.present);
    EXPECT_FALSE(ftdi.accessKnown);
    ASSERT_TRUE(ftdi.usb.has_value());
    EXPECT_EQ(usbIdentityText(*ftdi.usb), "USB 0403:6001 FTDI");
    EXPECT_EQ(ftdi.latencyTimerMs, 16);

    const DeviceFacts generic = describeDevice("\\\\.\\COM103");
    EXPECT_EQ(generic.path, "\\\\.\\COM103");
    EXPECT_EQ(generic.kind, "USB Serial Device");
    ASSERT_TRUE(generic.usb.has_value());
    EXPECT_EQ(usbIdentityText(*generic.usb), "USB 2a03:0043");
}

}  // namespace
}  // namespace serial
