// The chaos plan: one seed, one plan; and spoiling that the protocol can still detect.
#include "hhtsim/chaos.h"

#include <gtest/gtest.h>

namespace hhtsim {
namespace {

TEST(HhtsimChaos, OneSeedGivesOnePlan) {
    const std::string plan = ChaosPlan(42, Role::DataSender).describe(500);
    EXPECT_EQ(ChaosPlan(42, Role::DataSender).describe(500), plan);
    EXPECT_NE(ChaosPlan(43, Role::DataSender).describe(500), plan);
    EXPECT_FALSE(plan.empty());
    // A step depends on the seed and the message's number only, not on what was asked before.
    const ChaosPlan twice(42, Role::DataSender);
    (void)twice.step(7);
    for (long n = 1; n <= 500; ++n) {
        EXPECT_EQ(twice.step(n).bits, ChaosPlan(42, Role::DataSender).step(n).bits);
    }
}

std::uint8_t exclusiveOr(std::span<const std::uint8_t> bytes) {
    std::uint8_t x = 0;
    for (auto b : bytes) {
        x ^= b;
    }
    return x;
}

// Over many seeds: a corrupted frame differs from the true one in one text byte (a single change
// always spoils the check byte), and noise before a frame is an equal pair or bytes no exchange
// gives a meaning to, so a sound host can set it aside.
TEST(HhtsimChaos, SpoiledFramesStayDetectable) {
    const Bytes frame = buildLinkFrame("REC001;4711;3\r\n");
    int corrupted = 0, noisy = 0;
    for (std::uint64_t seed = 0; seed < 400; ++seed) {
        const ChaosPlan plan(seed, Role::DataSender);
        for (long n = 1; n <= 20; ++n) {
            const ChaosStep step = plan.step(n);
            const ShapedMessage shaped = shapeMessage(step, MessageKind::Frame, frame);
            if (step.kind == ChaosKind::Corrupt) {
                ++corrupted;
                ASSERT_EQ(shaped.pieces.size(), 1u);
                const Bytes& sent = shaped.pieces[0].bytes;
                ASSERT_EQ(sent.size(), frame.size());
                int changed = 0;
                for (std::size_t i = 0; i < frame.size(); ++i) {
                    if (sent[i] != frame[i]) {
                        ++changed;
                        EXPECT_GE(sent[i], 0x20) << "a control byte would change the framing";
                    }
                }
                EXPECT_EQ(changed, 1);
                EXPECT_NE(exclusiveOr(std::span(sent).first(sent.size() - 1)), sent.back());
                EXPECT_TRUE(shaped.garbled);
            }
            if (step.kind == ChaosKind::NoiseBefore) {
                ++noisy;
                const Bytes& sent = shaped.pieces.at(0).bytes;
                const std::size_t extra = sent.size() - frame.size();
                ASSERT_GE(extra, 1u);
                if (extra == 2 && sent[0] == sent[1]) {
                    continue;
                }
                for (std::size_t i = 0; i < extra; ++i) {
                    for (int control : {0x01, 0x02, 0x03, 0x04, 0x06, 0x15}) {
                        EXPECT_NE(sent[i], control);
                    }
                }
            }
        }
    }
    EXPECT_GT(corrupted, 5);
    EXPECT_GT(noisy, 5);
}

}  // namespace
}  // namespace hhtsim
