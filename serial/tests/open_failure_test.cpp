#include "open_failure.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "serial/open_failure.h"
#include "serial/serial_device.h"
#include "serial/testing/pty_pair.h"

namespace serial {
namespace {

using detail::OpenFailureFacts;
using testing::PtyPair;
using testing::ScopedEnv;

OpenFailureFacts factsFor(ErrorKind kind, int port, std::optional<std::string> device) {
    OpenFailureFacts facts;
    facts.kind = kind;
    facts.port = port;
    facts.device = std::move(device);
    facts.variablesNamePorts = true;
    return facts;
}

// The sentences people read, from the facts alone.
TEST(OpenFailureExplanation, SaysWhichDeviceWhyAndWhatToDo) {
    struct Case {
        const char* what;
        OpenFailureFacts facts;
        const char* expected;
    };
    OpenFailureFacts unset = factsFor(ErrorKind::NoSuchDevice, 0, std::nullopt);
    OpenFailureFacts unplugged = factsFor(ErrorKind::NoSuchDevice, 2, "/dev/ttyUSB0");
    unplugged.origin = DeviceOrigin::Variable;
    OpenFailureFacts storedGone = factsFor(ErrorKind::NoSuchDevice, 1, "/dev/serial/by-id/usb-FTDI_A10K");
    storedGone.origin = DeviceOrigin::Stored;
    OpenFailureFacts givenGone = factsFor(ErrorKind::NoSuchDevice, 1, "/dev/ttyUSB3");
    givenGone.origin = DeviceOrigin::Given;
    OpenFailureFacts noUart = factsFor(ErrorKind::NoSuchDevice, 4, "/dev/ttyS3");
    noUart.deviceNodeExists = true;
    OpenFailureFacts windowsMissing = factsFor(ErrorKind::NoSuchDevice, 3, "\\\\.\\COM3");
    windowsMissing.variablesNamePorts = false;
    OpenFailureFacts notInGroup = factsFor(ErrorKind::PermissionDenied, 1, "/dev/ttyS0");
    notInGroup.group = "dialout";
    OpenFailureFacts addedSinceLogin = notInGroup;
    addedSinceLogin.groupNotInSession = true;
    OpenFailureFacts ownerOnly = factsFor(ErrorKind::PermissionDenied, 1, "/dev/ttyS0");
    OpenFailureFacts held = factsFor(ErrorKind::InUse, 1, "/dev/ttyUSB0");
    held.holders = "minicom (pid 812)";
    OpenFailureFacts heldByWhom = factsFor(ErrorKind::InUse, 1, "/dev/ttyUSB0");
    OpenFailureFacts notSerial = factsFor(ErrorKind::NotSerialDevice, 9, "/dev/null");
    OpenFailureFacts refused = factsFor(ErrorKind::InvalidSetting, 1, "/dev/ttyUSB0");
    refused.reason = "the port does not take the parity asked for";
    OpenFailureFacts other = factsFor(ErrorKind::Other, 1, "/dev/ttyUSB0");
    other.reason = "cannot lock /dev/ttyUSB0: No locks available";

    const Case cases[] = {
        {"nothing named", unset,
         "COM0 names no device: set the environment variable COM0 to the serial device's path (for example "
         "COM0=/dev/ttyUSB0)."},
        {"unplugged", unplugged,
         "COM2 is /dev/ttyUSB0 (from the environment variable COM2), which does not exist. Plug in the "
         "cradle's adapter, or set COM2 to the adapter's device (for example COM2=/dev/ttyUSB0)."},
        {"stored, unplugged", storedGone,
         "COM1 is /dev/serial/by-id/usb-FTDI_A10K (the device stored for COM1), which does not exist. Plug "
         "in the cradle's adapter, or choose the adapter's device for COM1 under Device in PC Configuration "
         "(or: formwell-cli ports --store 1=/dev/ttyUSB0)."},
        {"given, unplugged", givenGone,
         "COM1 is /dev/ttyUSB3 (given with --device), which does not exist. Plug in the cradle's adapter, "
         "or give the adapter's device with --device (for example --device /dev/ttyUSB0)."},
        {"no port fitted", noUart,
         "COM4 is /dev/ttyS3, which has no serial port fitted behind it. Choose the port the cradle is on, "
         "or choose the adapter's device for COM4 under Device in PC Configuration (or: formwell-cli ports "
         "--store 4=/dev/ttyUSB0)."},
        {"missing, no variables", windowsMissing,
         "COM3 is \\\\.\\COM3, which does not exist. Plug in the cradle's adapter."},
        {"group to join", notInGroup,
         "COM1 is /dev/ttyS0, which only the group dialout may open. Add yourself to the group dialout (sudo "
         "usermod -aG dialout $USER, then log in again)."},
        {"joined since login", addedSinceLogin,
         "COM1 is /dev/ttyS0, which only the group dialout may open. You are in that group, but this login "
         "began before you were added: log in again."},
        {"no group may", ownerOnly,
         "COM1 is /dev/ttyS0, which you may not open. Ask the administrator for read and write access to "
         "/dev/ttyS0."},
        {"holder known", held,
         "COM1 is /dev/ttyUSB0, which is in use by minicom (pid 812). Close that program, then try again."},
        {"holder unknown", heldByWhom,
         "COM1 is /dev/ttyUSB0, which another program is using. Close it, then try again."},
        {"not serial", notSerial,
         "COM9 is /dev/null, which is not a serial port. Instead, store the adapter's device for COM9 "
         "(formwell-cli ports --store 9=/dev/ttyUSB0)."},
        {"settings refused", refused,
         "COM1 is /dev/ttyUSB0, which refused the line settings: the port does not take the parity asked "
         "for. Choose settings that both the port and the terminal support."},
        {"anything else", other,
         "COM1 is /dev/ttyUSB0, which could not be opened: cannot lock /dev/ttyUSB0: No locks available."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(detail::explainOpenFailure(c.facts), c.expected);
    }
    EXPECT_EQ(explainOpenFailure(Error{}, 1), "");
}

// The facts come from the device the port names: whether it exists, and which group may open it.
TEST(OpenFailureExplanation, LooksAtTheDeviceThePortNames) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("open_failure_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string device = (dir / "ttyX").string();
    std::ofstream(device) << "x";
    ScopedEnv env("COM7", device);
    const group* own = ::getgrgid(::getegid());
    ASSERT_NE(own, nullptr);
    const std::string ownGroup = own->gr_name;

    struct Case {
        ErrorKind kind;
        mode_t mode;
        const char* expectedPart;
    };
    const Case cases[] = {
        {ErrorKind::NoSuchDevice, 0600, "which has no serial port fitted behind it"},
        {ErrorKind::PermissionDenied, 0600, "Ask the administrator"},
        {ErrorKind::PermissionDenied, 0660, "sudo usermod -aG "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expectedPart);
        ::chmod(device.c_str(), c.mode);
        const std::string said = explainOpenFailure(Error{c.kind, 0, "refused"}, 7);
        EXPECT_EQ(said.rfind("COM7 is " + device + " (from the environment variable COM7), ", 0), 0u) << said;
        EXPECT_NE(said.find(c.expectedPart), std::string::npos) << said;
    }
    EXPECT_NE(
        explainOpenFailure(Error{ErrorKind::PermissionDenied, 0, "refused"}, 7).find("group " + ownGroup),
        std::string::npos);
    std::filesystem::remove_all(dir);
    EXPECT_NE(explainOpenFailure(Error{ErrorKind::NoSuchDevice, 0, "gone"}, 7).find("which does not exist"),
              std::string::npos);
}

// Holds a port in a child process, as another program would, until destroyed.
class HolderProcess {
  public:
    explicit HolderProcess(int portNumber) {
        int ready[2] = {-1, -1};
        if (::pipe(ready) != 0 || ::pipe(release_) != 0) {
            throw std::runtime_error("no pipe");
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(release_[1]);
            SerialDevice device;
            const char opened = device.open(portNumber, LineConfig{}).ok() ? 'y' : 'n';
            (void)!::write(ready[1], &opened, 1);
            // Until the parent closes its end, and never past a bound should the parent be gone wrong.
            pollfd released{release_[0], POLLIN, 0};
            (void)::poll(&released, 1, 30'000);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release_[0]);
        char opened = 0;
        holding_ = pid_ > 0 && ::read(ready[0], &opened, 1) == 1 && opened == 'y';
        ::close(ready[0]);
    }
    ~HolderProcess() {
        ::close(release_[1]);
        if (pid_ > 0) {
            ::waitpid(pid_, nullptr, 0);
        }
    }
    HolderProcess(const HolderProcess&) = delete;
    HolderProcess& operator=(const HolderProcess&) = delete;

    bool holding() const { return holding_; }
    pid_t pid() const { return pid_; }

  private:
    int release_[2] = {-1, -1};
    pid_t pid_ = -1;
    bool holding_ = false;
};

// A busy port names who holds it: the lock holder when there is one, else whoever has it open.
TEST(OpenFailureExplanation, BusyPortNamesTheProgramHoldingIt) {
    PtyPair pty;  // keeps the device open in this process, without a lock
    const std::string self = "serial_open_failure_test (pid " + std::to_string(::getpid()) + ")";
    EXPECT_EQ(detail::holdersOf(pty.slavePath()), self);

    ScopedEnv env("COM6", pty.slavePath());
    HolderProcess holder(6);
    ASSERT_TRUE(holder.holding());
    SerialDevice device;
    const Error busy = device.open(6, LineConfig{});
    const std::string named = "serial_open_failure_test (pid " + std::to_string(holder.pid()) + ")";
    EXPECT_EQ(busy.kind, ErrorKind::InUse);
    EXPECT_EQ(busy.text, pty.slavePath() + " is in use by " + named);
    EXPECT_EQ(explainOpenFailure(busy, 6), "COM6 is " + pty.slavePath() +
                                               " (from the environment variable COM6), which is in use by " +
                                               named + ". Close that program, then try again.");
}

}  // namespace
}  // namespace serial
