#include "formwell/link/comrig_table.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "formwell/common/app_error.h"
#include "formwell/link/comrig_trace.h"
#include "formwell/link/shared_library.h"
#include "formwell/testing/fake_comrig.h"

namespace formwell::link {
namespace {

int errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const AppError& e) {
        return e.number;
    }
    return 0;
}

TEST(ComrigBinding, LooksBesideTheProgramThenInItsLibFolderThenAsked) {
    EXPECT_EQ(
        libraryCandidates("/opt/fw/bin", "libcomrig.so"),
        (std::vector<std::string>{"/opt/fw/bin/libcomrig.so", "/opt/fw/lib/libcomrig.so", "libcomrig.so"}));
    EXPECT_EQ(libraryCandidates("", "libcomrig.so"), std::vector<std::string>{"libcomrig.so"});
}

TEST(ComrigBinding, AMissingLibraryOrFunctionIsRaisedAtTheCallThatNeedsIt) {
    const ComrigTable absent = boundComrig("libformwell-no-such-library.so");
    EXPECT_EQ(errorOf([&] { absent.ComClose(1); }), errnum::kLibraryLoad);
    EXPECT_EQ(errorOf([&] { absent.ComClose(1); }), errnum::kLibraryLoad);  // looked for again, no crash
    // The C library loads, and has none of comrig's functions.
    const ComrigTable foreign = boundComrig("libc.so.6");
    EXPECT_EQ(errorOf([&] { foreign.ComSleepMS(1, 0); }), errnum::kFunctionNotFound);
}

TEST(ComrigBinding, OurLibraryIsFoundFromTheBuild) {
    const ComrigTable comrig = boundComrig();
    EXPECT_EQ(comrig.ComSleepMS(1, 0), 0);
    EXPECT_EQ(comrig.ComClose(1), 0);
}

TEST(ComrigInterrupt, EveryCallButCloseRaisesOnceInterrupted) {
    formwell::testing::FakeComrig fake;
    bool interrupted = false;
    const ComrigTable t = interruptibleComrig(fake.table(), [&] { return interrupted; });
    EXPECT_EQ(t.ComOpen("com", 1, 9600, 8, 1, 1, 16384, 16384), 0);
    interrupted = true;
    EXPECT_EQ(errorOf([&] { t.ComPutc(1, 1); }), errnum::kUserInterrupt);
    EXPECT_EQ(errorOf([&] { t.ComReadBuf(1, nullptr, 3, 200, 5); }), errnum::kUserInterrupt);
    EXPECT_EQ(t.ComSleepMS(1, 100), 0);
    EXPECT_EQ(t.ComClose(1), 0);
    EXPECT_FALSE(fake.portOpen());
    EXPECT_EQ(fake.sent(), "");
}

// A read that waits for a frame sees Ctrl-C within a fraction of its wait, and otherwise gives what
// one read would: the frame through its terminator and a NUL, or an EOT on its own at once.
TEST(ComrigInterrupt, AWaitForAFrameEndsSoonAfterCtrlCAndReadsAsOneReadOtherwise) {
    formwell::testing::FakeComrig fake;
    std::int64_t interruptAtMs = 1'000'000;
    const ComrigTable t = interruptibleComrig(fake.table(), [&] { return fake.now() >= interruptAtMs; });
    ASSERT_EQ(t.ComOpen("com", 1, 9600, 8, 1, 1, 16384, 16384), 0);
    char buf[201];

    std::fill(std::begin(buf), std::end(buf), ' ');
    fake.arrive(
        "\x02R1\r\n\x03"
        "c",
        1200);
    EXPECT_EQ(t.ComReadBuf(1, buf, 3, 200, 5), 2);
    EXPECT_EQ(std::string(buf, 7), std::string("\x02R1\r\n\x03\0", 7));
    EXPECT_EQ(t.ComGetc(1), 'c');

    const std::int64_t eotAt = fake.now() + 700;
    fake.arrive("\x04", 700);
    std::fill(std::begin(buf), std::end(buf), ' ');
    EXPECT_EQ(t.ComReadBuf(1, buf, 3, 200, 5), 3);
    EXPECT_EQ(buf[0], 0x04);
    EXPECT_LT(fake.now() - eotAt, 150);

    interruptAtMs = fake.now() + 300;
    EXPECT_EQ(errorOf([&] { t.ComReadBuf(1, buf, 3, 200, 5); }), errnum::kUserInterrupt);
    EXPECT_LE(fake.now() - interruptAtMs, 150);
}

TEST(ComrigTrace, EveryByteWithItsTime) {
    formwell::testing::FakeComrig fake;
    fake.terminal = [&](char c) {
        if (c == 0x01) {
            fake.arrive("\x06", 5);
        }
    };
    std::ostringstream out;
    const ComrigTable t = tracedComrig(fake.table(), out, [&] { return fake.now() + 1000; });
    t.ComOpen("com", 1, 9600, 8, 1, 1, 16384, 16384);
    t.ComSleepMS(1, 100);
    t.ComPutc(1, 1);
    t.ComGetc(1);
    t.ComSleepMS(1, 100);
    t.ComGetc(1);
    t.ComWrite(1,
               "\x02"
               "ab\r\n\x03"
               "b",
               7);
    EXPECT_EQ(out.str(),
              "      0 ms  open COM1 9600 baud, 8 data bits, parity 1, 1 stop bits = 0\n"
              "    100 ms  tx 01 (SOH)\n"
              "    100 ms  rx none (-1)\n"
              "    200 ms  rx 06 (ACK)\n"
              "    200 ms  tx 7 bytes: 02 61 62 0D 0A 03 62 |.ab...b| = 7\n");
}

}  // namespace
}  // namespace formwell::link
