// The whole data receive against a port that answers with the fuzzer's bytes: every ComReadBuf
// result and buffer, every byte ComGetc hands over. Whatever arrives, the receive ends without a
// fault, the port is closed, no read follows the one that ended it, and import.txt holds exactly the
// records of the frames (from their STX) whose check byte matched, in order, and only an EOT outside a
// frame ends it as a success.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formwell/link/transfer_commands.h"
#include "formwell/testing/fake_comrig.h"
#include "formwell/testing/recording_interaction.h"
#include "formwell/testing/temp_dir.h"

namespace {

using namespace formwell;

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// The fuzzer's bytes, taken one at a time; nothing more arrives once they are used up.
struct Player {
    std::span<const std::uint8_t> bytes;
    std::size_t pos = 0;
    bool empty() const { return pos >= bytes.size(); }
    std::uint8_t take() { return empty() ? 0 : bytes[pos++]; }
};

// What the terminal side saw of the receive, and the records it expects in import.txt.
struct Model {
    bool ended = false;  // a read ended the receive: no read may follow
    bool awaitingCheck = false;
    std::string frame;  // the last frame read, without the trailing blanks
    int badRun = 0;
    bool seenGood = false;
    bool stopped = false;  // a matched frame too short to hold a record: the receive fails there
    int acked = 0;
    std::string expected;
    std::int32_t lastResult = 0;
    bool checkByteOwed = false;  // a frame's check byte did not come: the next byte is that one
    bool endOfData = false;      // the read that ended the receive held the terminal's end of data
};

std::string withoutTrailingBlanks(std::string text) {
    const std::size_t last = text.find_last_not_of(' ');
    text.resize(last == std::string::npos ? 0 : last + 1);
    return text;
}

// A frame begins at its first STX; what came before it is noise.
std::string fromStx(const std::string& bytes) {
    const std::size_t stx = bytes.find('\x02');
    return stx == std::string::npos ? std::string() : bytes.substr(stx);
}

// An EOT outside any frame, the owed check byte not counted.
bool holdsEndOfData(std::string bytes, bool checkByteOwed) {
    if (checkByteOwed && !bytes.empty()) {
        bytes.erase(0, 1);
    }
    const std::size_t eot = bytes.find('\x04');
    return eot != std::string::npos && eot < bytes.find('\x02');
}

std::uint8_t xorOf(std::string_view text) {
    std::uint8_t x = 0;
    for (const char c : text) {
        x ^= static_cast<std::uint8_t>(c);
    }
    return x;
}

const std::filesystem::path& startupDirectory() {
    static const testing::TempDir dir;
    static const bool written = [] {
        testing::writeBytes(dir.path() / link::kPortSettingsFileName, "Com1:19200 8N10");
        return true;
    }();
    (void)written;
    return dir.path();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path dir = startupDirectory();
    std::filesystem::remove(dir / link::kDataFileName);
    std::filesystem::remove(dir / link::kDataBackupFileName);

    Player player{std::span(data, size)};
    Model model;
    testing::FakeComrig fake;
    // One port in four refuses to open.
    fake.openResult = player.take() % 4 == 0 ? -2 : 0;
    link::ComrigTable table = fake.table();

    table.ComGetc = [&fake, &player, &model](std::int32_t) -> std::int32_t {
        check(fake.portOpen());
        const std::int32_t byte = player.empty() ? -1 : player.take();
        if (model.awaitingCheck) {
            model.awaitingCheck = false;
            model.checkByteOwed = byte < 0;
            const std::string frame = fromStx(model.frame);
            if (!frame.empty() && byte == xorOf(frame)) {
                if (frame.size() < 5) {
                    model.stopped = true;  // STX before the record, CR LF ETX NUL after it: no room, no ACK
                } else {
                    ++model.acked;
                    model.seenGood = true;
                    model.badRun = 0;
                    model.expected += frame.substr(1, frame.size() - 5) + "\r\n";
                }
            } else {
                ++model.badRun;
            }
        }
        return byte;
    };
    table.ComReadBuf = [&fake, &player, &model](std::int32_t, char* buf, std::int32_t, std::int32_t max,
                                                std::int32_t) -> std::int32_t {
        check(fake.portOpen() && !model.ended && !model.stopped && !model.awaitingCheck);
        // Three bad frames in a row before the first good one, two after it, end the receive.
        check(model.badRun < (model.seenGood ? 2 : 3));
        std::int32_t result = 3;  // nothing more arrives: the read times out
        std::string filled;
        if (!player.empty()) {
            const std::uint8_t pick = player.take();
            constexpr std::int32_t kResults[] = {2, 2, 2, 3, -1, 0, 1};
            result = pick % 8 < 7 ? kResults[pick % 8] : pick / 8 - 8;
            const std::size_t length = player.take() % (static_cast<std::size_t>(max) + 1);
            while (filled.size() < length && !player.empty()) {
                filled.push_back(static_cast<char>(player.take()));
            }
        }
        std::copy(filled.begin(), filled.end(), buf);
        model.frame = withoutTrailingBlanks(filled);
        model.lastResult = result;
        model.awaitingCheck = result == 2;
        // A lone EOT where a frame's check byte is owed is that late check byte: the receive reads on.
        const bool lateCheckByte = result == 3 && model.checkByteOwed && model.frame == "\x04";
        model.endOfData = result == 3 && !lateCheckByte && holdsEndOfData(model.frame, model.checkByteOwed);
        model.ended = result != 2 && !lateCheckByte;
        model.checkByteOwed = false;
        return result;
    };

    testing::RecordingInteraction ui;
    ui.queueAnswer(Answer::Yes);
    link::TransferGuard guard;
    link::LinkCommands commands(ui, dir.string(), table, guard);
    commands.receiveFile();

    check(!fake.portOpen());
    const std::filesystem::path imported = dir / link::kDataFileName;
    const std::string stored = std::filesystem::exists(imported) ? testing::readBytes(imported) : "";
    check(stored == model.expected);
    const std::string sent = fake.sent();
    check(std::count(sent.begin(), sent.end(), link::kAck) == model.acked);
    if (commands.lastOutcome() == link::CommandOutcome::Succeeded) {
        check(model.lastResult == 3 && model.endOfData && !model.stopped);
    }
    return 0;
}
