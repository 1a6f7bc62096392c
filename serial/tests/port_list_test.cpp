#include "serial/port_list.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

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
    void stableName(const std::string& name, const std::string& target) {
        fs::create_symlink("../../" + target, root_ / "dev" / "serial" / "by-id" / name);
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
