// The pty's account of a host that closes and opens the port again: the bytes, the close and the next
// open's bytes in the order they happened, however late the simulator looks.
#include "hhtsim/pty.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace hhtsim {
namespace {

using std::chrono::milliseconds;

TEST(HhtsimPty, AHostThatOpensAgainAfterItsCloseWasSeenKeepsItsNewBytesAfterTheClose) {
    int stop[2];
    ASSERT_EQ(pipe(stop), 0);
    EventLog log;
    auto opened = PtyLine::open(stop[0], log);
    ASSERT_TRUE(std::holds_alternative<std::unique_ptr<PtyLine>>(opened)) << std::get<std::string>(opened);
    PtyLine& line = *std::get<std::unique_ptr<PtyLine>>(opened);

    auto hostWrites = [&](const char* text) {
        int fd = ::open(line.devicePath().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, text, 2), 2);
        ::close(fd);
    };
    auto next = [&] { return line.read(milliseconds(2000)); };

    hostWrites("ab");
    ReadResult first = next();
    EXPECT_EQ(first.status, ReadStatus::Byte);
    EXPECT_EQ(first.byte, 'a');
    // The close has been seen by now; the host comes back before the simulator reads on.
    hostWrites("cd");
    EXPECT_EQ(next().byte, 'b');
    EXPECT_EQ(next().status, ReadStatus::HostClosed);
    EXPECT_EQ(next().byte, 'c');
    EXPECT_EQ(next().byte, 'd');
    EXPECT_EQ(next().status, ReadStatus::HostClosed);
    EXPECT_EQ(line.read(milliseconds(50)).status, ReadStatus::Timeout);
    ::close(stop[0]);
    ::close(stop[1]);
}

}  // namespace
}  // namespace hhtsim
