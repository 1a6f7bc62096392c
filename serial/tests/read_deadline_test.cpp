#include "read_deadline.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>

namespace serial::detail {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

struct Case {
    const char* name;
    ReadTimeouts timeouts;
    std::size_t wanted;
    std::optional<microseconds> byteAt;  // when the newest byte arrived, from the start
    microseconds askedAt;
    milliseconds expected;
};

class ReadDeadlineTest : public ::testing::TestWithParam<Case> {};

TEST_P(ReadDeadlineTest, RemainingWait) {
    const Case& c = GetParam();
    const Clock::time_point start{};
    ReadDeadline deadline(c.timeouts, c.wanted, start);
    if (c.byteAt) {
        deadline.onBytes(start + *c.byteAt);
    }
    EXPECT_EQ(deadline.remaining(start + c.askedAt).count(), c.expected.count());
}

constexpr ReadTimeouts kTerminal{100, 100, 100};

INSTANTIATE_TEST_SUITE_P(
    Table, ReadDeadlineTest,
    ::testing::Values(
        // A silent terminal: the whole total, constant plus per byte.
        Case{"silent_one_byte", kTerminal, 1, std::nullopt, microseconds(0), milliseconds(200)},
        Case{"silent_eighteen_bytes", kTerminal, 18, std::nullopt, microseconds(0), milliseconds(1900)},
        Case{"silent_at_total", kTerminal, 1, std::nullopt, milliseconds(200), milliseconds(0)},
        Case{"silent_past_total", kTerminal, 1, std::nullopt, milliseconds(5000), milliseconds(0)},
        // The interval only starts with the first byte.
        Case{"interval_waits_for_first_byte", ReadTimeouts{10, 500, 0}, 4, std::nullopt, milliseconds(300),
             milliseconds(200)},
        Case{"interval_after_byte", kTerminal, 18, milliseconds(50), milliseconds(50), milliseconds(100)},
        Case{"interval_counts_from_newest_byte", kTerminal, 18, milliseconds(400), milliseconds(450),
             milliseconds(50)},
        Case{"interval_passed", kTerminal, 18, milliseconds(400), milliseconds(500), milliseconds(0)},
        // The total still ends a read whose bytes keep trickling in.
        Case{"total_caps_interval", kTerminal, 18, milliseconds(1850), milliseconds(1860), milliseconds(40)},
        Case{"end_on_arrival_waits_for_first_byte", ReadTimeouts{ReadTimeouts::kEndOnArrival, 500, 0}, 4,
             std::nullopt, milliseconds(300), milliseconds(200)},
        Case{"end_on_arrival_ends_with_first_bytes", ReadTimeouts{ReadTimeouts::kEndOnArrival, 500, 0}, 4,
             milliseconds(300), milliseconds(300), milliseconds(0)},
        Case{"no_interval_limit", ReadTimeouts{0, 1000, 0}, 4, milliseconds(10), milliseconds(900),
             milliseconds(100)},
        // Zero total: take what is waiting and return.
        Case{"zero_total", ReadTimeouts{100, 0, 0}, 10, std::nullopt, microseconds(0), milliseconds(0)},
        // Partial milliseconds round up so a poll cannot wake early and spin.
        Case{"rounds_up", kTerminal, 1, std::nullopt, microseconds(199'001), milliseconds(1)},
        Case{"huge_total_no_overflow",
             ReadTimeouts{0, std::numeric_limits<std::uint32_t>::max(),
                          std::numeric_limits<std::uint32_t>::max()},
             std::numeric_limits<std::size_t>::max(), std::nullopt, microseconds(0),
             milliseconds(1LL << 40)}),
    [](const ::testing::TestParamInfo<Case>& param) { return param.param.name; });

}  // namespace
}  // namespace serial::detail
