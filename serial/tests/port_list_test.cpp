#include "serial/port_list.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <utility>

#include "serial/port_map.h"
#include "serial/serial_device.h"
#include "serial/testing/pty_pair.h"

namespace serial {
namespace {

namespace fs = std::filesystem;

// A machine laid out in a folder: device nodes as plain files, the kernel's tty facts beside them.
class FakeMachine {
  public:
    FakeMachine() {
        root_ = fs::temp_directory_path() / ("serial-ports-" + std::to_string(::getpid()));
        fs::create_directories(root_ / "dev" / "serial" / "by-id");
        fs::create_directories(root_ / "sys");
    }
    ~FakeMachine() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    std::string device(const std::string& name) {
        const fs::path path = root_ / "dev" / name;
        std::ofstream(path).put('\0');
        return path.string();
    }
    void uartType(const std::string& name, const std::string& type) {
        fs::create_directories(root_ / "sys" / name);
        std::ofstream(root_ / "sys" / name / "type") << type << '\n';
    }
    // Returns the stable name's path; an existing one is pointed at the new target, as a replug does.
    std::string stableName(const std::string& name, const std::string& target) {
        const fs::path link = root_ / "dev" / "serial" / "by-id" / name;
        std::error_code ec;
        fs::remove(link, ec);
        fs::create_symlink("../../" + target, link);
        return link.string();
    }
    fs::path file(const std::string& name) const { return root_ / name; }
    // The kernel's tree for a USB serial port: the port's device (with its driver and, for an FTDI
    // chip, its latency timer) under the USB interface under the USB device that names itself.
    void usbPort(const std::string& name, const std::string& driver, std::optional<int> latencyMs,
                 const std::string& serialNumber) {
        const fs::path usbDevice = root_ / "devices" / ("usb-" + name);
        const fs::path port = usbDevice / "1-1:1.0" / name;
        fs::create_directories(port);
        fs::create_directories(root_ / "drivers" / driver);
        fs::create_symlink(root_ / "drivers" / driver, port / "driver");
        if (latencyMs) {
            std::ofstream(port / "latency_timer") << *latencyMs << '\n';
        }
        const std::pair<const char*, std::string> facts[] = {{"idVendor", "0403"},
                                                             {"idProduct", "6001"},
                                                             {"manufacturer", "FTDI"},
                                                             {"product", "FT232R USB UART"},
                                                             {"serial", serialNumber}};
        for (const auto& [file, value] : facts) {
            std::ofstream(usbDevice / file) << value << '\n';
        }
        fs::create_directories(root_ / "sys" / name);
        fs::create_symlink(port, root_ / "sys" / name / "device");
    }
    DeviceRoots roots() const { return DeviceRoots{(root_ / "dev").string(), (root_ / "sys").string()}; }

  private:
    fs::path root_;
};

TEST(PortList, UartsWithAChipAdaptersModemsAndNamedDevicesWithTheirStableNames) {
    FakeMachine machine;
    const std::string uart = machine.device("ttyS0");
    machine.uartType("ttyS0", "4");
    machine.device("ttyS1");
    machine.uartType("ttyS1", "0");  // a driver node with no UART behind it
    const std::string adapter = machine.device("ttyUSB0");
    const std::string modem = machine.device("ttyACM3");
    machine.device("tty5");
    machine.stableName("usb-FTDI_FT232R_A10K-if00-port0", "ttyUSB0");
    testing::PtyPair pty;
    const testing::ScopedEnv named("COM7", pty.slavePath());

    const std::vector<DeviceFacts> devices = listSerialDevices(machine.roots());
    std::vector<std::string> paths;
    for (const DeviceFacts& d : devices) {
        paths.push_back(d.path);
    }
    std::vector<std::string> expected = {uart, adapter, modem, pty.slavePath()};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(paths, expected);

    const DeviceFacts usb = describeDevice(adapter, machine.roots());
    EXPECT_EQ(usb.kind, "USB serial adapter");
    ASSERT_EQ(usb.byId.size(), 1u);
    EXPECT_NE(usb.byId[0].find("usb-FTDI_FT232R_A10K-if00-port0"), std::string::npos);
    EXPECT_TRUE(usb.mayOpen);
    EXPECT_EQ(describeDevice(pty.slavePath(), machine.roots()).kind, "pseudo-terminal");
    EXPECT_FALSE(describeDevice(machine.roots().dev + "/ttyUSB9", machine.roots()).present);
}

TEST(PortList, AUsbPortNamesItsDeviceDriverAndLatencyTimerAndAUartOnlyItsDriver) {
    FakeMachine machine;
    machine.device("ttyUSB0");
    machine.usbPort("ttyUSB0", "ftdi_sio", 16, "A10K3XYZ");
    const std::string modem = machine.device("ttyACM0");
    machine.usbPort("ttyACM0", "cdc_acm", std::nullopt, "");
    machine.stableName("usb-FTDI_FT232R_A10K3XYZ-if00-port0", "ttyUSB0");

    const DeviceFacts ftdi = describeDevice(
        machine.roots().dev + "/serial/by-id/usb-FTDI_FT232R_A10K3XYZ-if00-port0", machine.roots());
    ASSERT_TRUE(ftdi.usb.has_value());
    EXPECT_EQ(ftdi.usb->vendorId + ":" + ftdi.usb->productId, "0403:6001");
    EXPECT_EQ(ftdi.usb->product, "FT232R USB UART");
    EXPECT_EQ(ftdi.usb->serial, "A10K3XYZ");
    EXPECT_EQ(ftdi.driver, "ftdi_sio");
    EXPECT_EQ(ftdi.latencyTimerMs, 16);
    EXPECT_NE(ftdi.latencyTimerFile.find("ttyUSB0/latency_timer"), std::string::npos);

    const DeviceFacts acm = describeDevice(modem, machine.roots());
    ASSERT_TRUE(acm.usb.has_value());
    EXPECT_EQ(acm.driver, "cdc_acm");
    EXPECT_FALSE(acm.latencyTimerMs.has_value());

    const DeviceFacts uart = describeDevice(machine.device("ttyS0"), machine.roots());
    EXPECT_FALSE(uart.usb.has_value());
    EXPECT_TRUE(uart.driver.empty());
}

TEST(PortMap, AStoredChoiceComesBetweenTheVariableAndTheDefaultAndFollowsItsAdapterWhenRenumbered) {
    FakeMachine machine;
    const std::string usb[] = {machine.device("ttyUSB0"), machine.device("ttyUSB1"),
                               machine.device("ttyUSB2")};
    const std::string a = machine.stableName("usb-FTDI_A-if00-port0", "ttyUSB0");
    const std::string b = machine.stableName("usb-FTDI_B-if00-port0", "ttyUSB1");
    machine.stableName("usb-Prolific_C-if00-port0", "ttyUSB2");
    const testing::ScopedEnv file("FORMWELL_PORTS_FILE", machine.file("config/ports.conf").string());
    const testing::ScopedEnv com1("COM1", std::nullopt);
    const testing::ScopedEnv com2("COM2", std::nullopt);
    const testing::ScopedEnv com3("COM3", std::string("/dev/pts/9"));
    std::string error;
    ASSERT_TRUE(storeDeviceForPort(1, b, error)) << error;
    ASSERT_TRUE(storeDeviceForPort(3, a, error)) << error;

    EXPECT_EQ(devicePathForPort(1), b);
    EXPECT_EQ(deviceOriginForPort(1), DeviceOrigin::Stored);
    EXPECT_EQ(devicePathForPort(2), "/dev/ttyS1");
    EXPECT_EQ(deviceOriginForPort(2), DeviceOrigin::Default);
    EXPECT_EQ(devicePathForPort(3), "/dev/pts/9");  // the variable still wins
    EXPECT_EQ(deviceOriginForPort(3), DeviceOrigin::Variable);
    EXPECT_EQ(fs::canonical(*devicePathForPort(1)), fs::canonical(usb[1]));

    // Unplugged and plugged in again in another order: the stable name leads to B wherever it is now.
    machine.stableName("usb-FTDI_B-if00-port0", "ttyUSB0");
    machine.stableName("usb-FTDI_A-if00-port0", "ttyUSB2");
    EXPECT_EQ(fs::canonical(*devicePathForPort(1)), fs::canonical(usb[0]));

    ASSERT_TRUE(storeDeviceForPort(1, "", error)) << error;
    EXPECT_EQ(devicePathForPort(1), "/dev/ttyS0");
    EXPECT_EQ(storedDeviceForPort(3), a);
    std::ofstream(machine.file("config/ports.conf"), std::ios::app) << "COM4=\nnonsense\nCOM5 /dev/ttyUSB1\n";
    EXPECT_EQ(storedDeviceForPort(4), std::nullopt);
    EXPECT_EQ(storedDeviceForPort(5), std::nullopt);
    EXPECT_FALSE(storeDeviceForPort(2, "/dev/tty\nUSB0", error));

    // Something other than a file in its place (a FIFO would hold a plain open for ever) is read as
    // no entries, and never replaced, which would lose what it may hold.
    const std::string fifo = machine.file("config/fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    {
        const testing::ScopedEnv odd("FORMWELL_PORTS_FILE", fifo);
        EXPECT_EQ(storedDeviceForPort(3), std::nullopt);
        EXPECT_FALSE(storeDeviceForPort(3, a, error));
        EXPECT_NE(error.find("nothing was changed"), std::string::npos) << error;
        EXPECT_TRUE(fs::is_fifo(fifo));
    }

    // A device given for one run wins over the stored one and is told from a variable the person set.
    const testing::ScopedEnv note("FORMWELL_GIVEN_COM3", std::nullopt);
    ASSERT_TRUE(giveDeviceForPort(3, b, error)) << error;
    EXPECT_EQ(devicePathForPort(3), b);
    EXPECT_EQ(deviceOriginForPort(3), DeviceOrigin::Given);
    const testing::ScopedEnv changed("COM3", std::string("/dev/ttyACM0"));
    EXPECT_EQ(deviceOriginForPort(3), DeviceOrigin::Variable);
}

TEST(PortList, AHeldDeviceNamesItsHolderAndAPtysOtherEndDoesNotCount) {
    FakeMachine machine;
    const std::string adapter = machine.device("ttyUSB0");
    EXPECT_EQ(describeDevice(adapter, machine.roots()).heldBy, "");
    const int fd = ::open(adapter.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);  // as every cooperating opener does
    EXPECT_NE(
        describeDevice(adapter, machine.roots()).heldBy.find("(pid " + std::to_string(::getpid()) + ")"),
        std::string::npos);
    ::close(fd);

    testing::PtyPair pty;  // this process holds both ends open, as a simulated terminal does
    EXPECT_EQ(describeDevice(pty.slavePath(), machine.roots()).heldBy, "");
}

}  // namespace
}  // namespace serial
