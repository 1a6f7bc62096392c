// Terminals that misbehave, one row each, through formwell-cli, the real libraries and hhtsim on a
// pseudo-terminal: the INI send, the data receive and the framed, hex-block and line loads. Every row
// checks what the user is told, that the port is free again at once, that the wait stayed within what
// the protocol's own limits allow, and that no file holds anything but what was accepted.
// (The raw stream is steered by CTS, which a pseudo-terminal does not have: its faults are on the
// virtual clock, beside the transfer.)
#include <gtest/gtest.h>

#include "e2e_support.h"

namespace e2e {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr int kPort = 6;

// The protocols' own limits, from which each row's longest allowed wait is made.
constexpr milliseconds kSohTry{100 + 100};   // pause, SOH, read after a pause
constexpr milliseconds kFrameTry{100 + 30};  // a 47-byte frame at 19200 baud, then the read's pause
constexpr milliseconds kEotTry{20 + 150};
constexpr milliseconds kReceiveSilence{5000};  // the receive's read gives up after this long without a byte
constexpr milliseconds kByteRead{200};         // the loader's read of one byte from a silent terminal
constexpr milliseconds kFirstQuery{100 + 100 + 1100 + 200};  // its pauses, a 10-byte read, the dropped byte
constexpr milliseconds kIdentRead{1900};                     // 18 bytes
constexpr milliseconds kPresenceCheck{2 * 4 * 1000};         // two queries, four 9-byte reads each
constexpr milliseconds kErasePause{700};
constexpr milliseconds kAckWait{50 * 200};  // fifty one-byte reads
constexpr milliseconds kRuleTry{100 + 200 + 20};
constexpr milliseconds kLineAttempt{1000};  // a 9-byte read

enum class Transfer { SendIni, Receive, Load };
enum class ImageKind { None, Asking, Named, HexBlock, Line };

struct Row {
    const char* name;
    Transfer transfer;
    std::vector<std::string> switches;  // the role and the misbehaviour
    ImageKind image;
    int exitStatus;
    std::vector<std::string> messages;  // on standard error, in this order
    const char* result;                 // a load's first words on standard output
    milliseconds protocolBound;         // the longest the protocol's limits let this row take
    // What the terminal stored of an INI send, or import.txt after a receive; `keptOtherwise` is the
    // other outcome a row's timing allows, when there is one.
    std::string kept{};
    bool lineStaysUp = true;        // false where the terminal hangs up: the device is gone
    milliseconds protocolFloor{0};  // what the protocol must spend before it may give up
    std::string keptOtherwise{};
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

std::string rowName(const ::testing::TestParamInfo<Row>& info) {
    return info.param.name;
}

// Three fields of a document, 42 characters and CR LF each.
const std::string kIni =
    "ARTICLE       Text  14YN010111111111111111\r\n"
    "QUANTITY      Number04YN010111111111111111\r\n"
    "WHEN          Date  08NN080111111111111111\r\n";
const std::vector<std::string> kRecords{"4711;3", "0815;12", "LAST ONE  ", "9;9"};

std::string recordLines(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += kRecords[static_cast<std::size_t>(i)] + "\r\n";
    }
    return text;
}

Image loaderRecords(Image image, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i) {
        image.s2(0x200100 + 16 * i, pattern(16, 5 * i));
    }
    return image;
}

Image imageFor(ImageKind kind) {
    Image image;
    switch (kind) {
        case ImageKind::Asking:  // the terminal names its kind; the header says which may take it
            image.s2(0x210000, std::string("APPLICATION;")).s2(0x21000C, std::string("VKNV0100"));
            return loaderRecords(image, 30);
        case ImageKind::Named:  // the image names the terminal kind itself
            image.s2(0x200000, std::string("KTR by ZAN"));
            return loaderRecords(image, 30);
        case ImageKind::HexBlock:
            return loaderRecords(image, 30);
        case ImageKind::Line:
            image.hex(0x04, 0, {0x00, 0x24});
            for (std::uint16_t i = 0; i < 12; ++i) {
                image.hex(0x00, static_cast<std::uint16_t>(0x0100 + 16 * i), pattern(16, i));
            }
            return image.raw(":00000001FF\r\n");
        case ImageKind::None:
            break;
    }
    return image;
}

std::string imageName(ImageKind kind) {
    return kind == ImageKind::Line ? "VKSAPP.HEX" : "app.s2";
}

// A load may leave the image's bytes, the named kind's markers (0x00 at 0x200000 and 0x20FFFF) and
// the hex-block lines' 0xFF padding; nothing else. A successful one leaves every byte of the image.
void expectFlashFrom(const ByteMap& flash, const Image& image, bool loaded) {
    for (const auto& [address, value] : flash) {
        if ((address == 0x20FFFF || address == 0x200000) && value == 0x00) {
            continue;  // the markers stay where no erase came after them
        }
        const auto found = image.bytes.find(address);
        if (found != image.bytes.end()) {
            EXPECT_EQ(value, found->second) << std::hex << "at " << address;
        } else {
            EXPECT_EQ(value, 0xFF) << std::hex << "stray byte at " << address;
        }
    }
    if (loaded) {
        for (const auto& [address, value] : image.bytes) {
            EXPECT_TRUE(flash.count(address)) << std::hex << "missing " << address;
        }
    }
}

std::vector<std::string> with(std::vector<std::string> role, const std::vector<std::string>& more) {
    role.insert(role.end(), more.begin(), more.end());
    return role;
}
const std::vector<std::string> kIniReceiver{"--role", "ini-receiver"};
const std::vector<std::string> kDataSender{"--role", "data-sender"};
const std::vector<std::string> kLoader{"--role", "loader"};
const std::vector<std::string> kRmtLoader{"--role", "rmt-loader", "--ident", "RMT VKN01"};
const std::vector<std::string> kLineLoader{"--role", "line-loader"};

const std::string kSendFailed = "Operation Cancelled: Download Failed!\n";
const std::string kSendDone = "Process Complete: Download Process Complete!\n";
const std::string kUploadFailed = "Upload Failed: Data Upload Failed ...\n";
const std::string kUploadDone = "Upload Complete: Upload Complete ...\n";
const std::string kTimeOut =
    "Time out: 1-Connection Time Out. Please check the configuration and cabling ...\n";
const std::string kNotLoaded = " was not Downloaded to Hand Held!\n";
const std::string kTimedOut = "Formwell: Timed Out!  File Name: ";

class HostileTerminal : public ::testing::TestWithParam<Row> {};

TEST_P(HostileTerminal, FailsCleanlyWithinTheProtocolsBound) {
    const Row& row = GetParam();
    TempDir dir;
    writeFile(dir / "mbx.dat", "Com6:19200 8N10");
    writeFile(dir / "fields.ini", kIni);
    std::string records;
    for (const std::string& record : kRecords) {
        records += record + "\n";
    }
    writeFile(dir / "records.txt", records);
    const Image image = imageFor(row.image);
    writeFile(dir / imageName(row.image), image.text);

    std::vector<std::string> switches = row.switches;
    switches.insert(switches.end(),
                    {"--out", (dir / "received.ini").string(), "--records", (dir / "records.txt").string()});
    // Session after session, so that the device is still there to be opened after the transfer.
    SimTerminal terminal(dir, switches, /*once=*/false);
    ScopedPortVariable port(kPort, terminal.device());

    std::vector<std::string> args{"--dir", (dir / "").string(), "--yes"};
    if (row.transfer == Transfer::SendIni) {
        args.insert(args.end(), {"send-ini", (dir / "fields.ini").string()});
    } else if (row.transfer == Transfer::Receive) {
        args.push_back("receive");
    } else {
        args.insert(args.end(), {"load", (dir / imageName(row.image)).string()});
    }
    const auto start = Clock::now();
    CliProcess cli(args);
    const int status = cli.finish();
    const auto elapsed = std::chrono::duration_cast<milliseconds>(Clock::now() - start);

    EXPECT_EQ(status, row.exitStatus) << cli.err;
    std::size_t at = 0;
    for (const std::string& message : row.messages) {
        const std::size_t found = cli.err.find(message, at);
        EXPECT_NE(found, std::string::npos) << "no \"" << message << "\" (in order) in:\n" << cli.err;
        at = found == std::string::npos ? at : found + message.size();
    }
    if (row.result != nullptr) {
        EXPECT_EQ(cli.out.rfind(row.result, 0), 0u) << cli.out;
    }
    // Real time on a busy machine: twice the protocol's limit and some seconds, and never less than
    // the protocol itself needs to give up.
    EXPECT_LT(elapsed, 2 * row.protocolBound + std::chrono::seconds(5));
    EXPECT_GE(elapsed, row.protocolFloor);
    if (row.lineStaysUp) {
        EXPECT_TRUE(opensExclusively(kPort));
    }
    terminal.stopAndWait();

    EXPECT_EQ(readFile(dir / "fields.ini"), kIni);
    if (row.transfer != Transfer::Load) {
        // The terminal stores an INI file when its EOT arrives.
        const std::string kept =
            readFile(dir / (row.transfer == Transfer::SendIni ? "received.ini" : "import.txt"));
        EXPECT_TRUE(kept == row.kept || (!row.keptOtherwise.empty() && kept == row.keptOtherwise)) << kept;
    }
    if (row.transfer == Transfer::Load) {
        expectFlashFrom(terminal.flash(), image, row.exitStatus == 0);
        // A failed load that left anything in the terminal's flash must say that it has to be loaded
        // again.
        if (row.exitStatus != 0 && !terminal.flash().empty()) {
            EXPECT_NE(cli.out.find("\nterminal: "), std::string::npos) << cli.out;
        }
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(IniSend, HostileTerminal, ::testing::Values(
    Row{"Silent", Transfer::SendIni, with(kIniReceiver, {"--silent"}), ImageKind::None, 1,
        {kSendFailed}, nullptr, 50 * kSohTry, "", true, 50 * kSohTry},
    Row{"RefusesTheRequest", Transfer::SendIni, with(kIniReceiver, {"--wrong-ack", "15"}), ImageKind::None, 1,
        {kSendFailed}, nullptr, 50 * kSohTry},
    Row{"SilentAtTheFirstLine", Transfer::SendIni, with(kIniReceiver, {"--stop-after", "1"}), ImageKind::None,
        1, {kSendFailed}, nullptr, kSohTry + 3 * kFrameTry},
    Row{"SilentAtTheLastLine", Transfer::SendIni, with(kIniReceiver, {"--stop-after", "3"}), ImageKind::None,
        1, {kSendFailed}, nullptr, kSohTry + 5 * kFrameTry},
    Row{"SilentAtTheEnd", Transfer::SendIni, with(kIniReceiver, {"--stop-after", "4"}), ImageKind::None, 1,
        {kSendFailed}, nullptr, kSohTry + 3 * kFrameTry + 3 * kEotTry, kIni},
    Row{"HangsUpMidway", Transfer::SendIni, with(kIniReceiver, {"--hangup-after", "2"}), ImageKind::None, 1,
        {kSendFailed, "device went away or its line hung up while line 2 of 3 "}, nullptr,
        kSohTry + 4 * kFrameTry, "", false},
    // A lost line ends the link request at once, where a silent terminal gets its fifty tries.
    Row{"HangsUpAtTheRequest", Transfer::SendIni, with(kIniReceiver, {"--hangup-after", "0"}), ImageKind::None,
        1, {kSendFailed, "device went away or its line hung up before the first line "}, nullptr, 2 * kSohTry,
        "", false},
    Row{"TalksUnasked", Transfer::SendIni, with(kIniReceiver, {"--chatter"}), ImageKind::None, 0,
        {kSendDone}, nullptr, 50 * kSohTry + 3 * kFrameTry + kEotTry, kIni},
    Row{"AtTheLinesPace", Transfer::SendIni, with(kIniReceiver, {"--baud-throttle"}), ImageKind::None, 0,
        {kSendDone}, nullptr, kSohTry + 3 * kFrameTry + kEotTry, kIni}), rowName);

INSTANTIATE_TEST_SUITE_P(DataReceive, HostileTerminal, ::testing::Values(
    Row{"Silent", Transfer::Receive, with(kDataSender, {"--silent"}), ImageKind::None, 1,
        {kUploadFailed}, nullptr, 25 * kSohTry, "", true, 25 * kSohTry},
    Row{"RefusesTheRequest", Transfer::Receive, with(kDataSender, {"--wrong-ack", "15"}), ImageKind::None, 1,
        {kUploadFailed}, nullptr, 25 * kSohTry},
    Row{"WrongCheckBytes", Transfer::Receive, with(kDataSender, {"--bad-check"}), ImageKind::None, 1,
        {kUploadFailed}, nullptr, kSohTry + 3 * kReceiveSilence},
    Row{"FallsSilentAfterTwoRecords", Transfer::Receive, with(kDataSender, {"--stop-after", "3"}),
        ImageKind::None, 1, {kTimeOut, kUploadFailed}, nullptr, kSohTry + kReceiveSilence, recordLines(2)},
    Row{"OverlongFrame", Transfer::Receive, with(kDataSender, {"--overlong"}), ImageKind::None, 1,
        {"Formwell: 1-Error occured ", kUploadFailed}, nullptr, kSohTry + kReceiveSilence},
    Row{"HangsUpAfterTwoRecords", Transfer::Receive, with(kDataSender, {"--hangup-after", "3"}),
        ImageKind::None, 1,
        {"Formwell: 1-Please check the configuration ...\n", kUploadFailed,
         "device went away or its line hung up after record 2 "},
        nullptr, kSohTry + kReceiveSilence, recordLines(2), false},
    Row{"SlowDrip", Transfer::Receive, with(kDataSender, {"--drip", "40"}), ImageKind::None, 0,
        {kUploadDone}, nullptr, kSohTry + 4 * 20 * milliseconds(40), recordLines(4)},
    Row{"TalksUnasked", Transfer::Receive, with(kDataSender, {"--chatter"}), ImageKind::None, 0,
        {kUploadDone}, nullptr, 25 * kSohTry + 4 * kReceiveSilence, recordLines(4), true, milliseconds(0),
        // The handshake reads the unasked line a byte a try; by then the terminal has sent its first
        // record again, and both copies are good frames: the link has no sequence numbers.
        kRecords[0] + "\r\n" + recordLines(4)},
    Row{"AtTheLinesPace", Transfer::Receive, with(kDataSender, {"--baud-throttle"}), ImageKind::None, 0,
        {kUploadDone}, nullptr, kSohTry + kReceiveSilence, recordLines(4)}), rowName);

INSTANTIATE_TEST_SUITE_P(FramedLoad, HostileTerminal, ::testing::Values(
    Row{"Silent", Transfer::Load, with(kLoader, {"--silent"}), ImageKind::Asking, 1,
        {kNotLoaded, kSendFailed}, "result: -14 ", kFirstQuery + kIdentRead},
    Row{"SilentToThePresenceCheck", Transfer::Load, with(kLoader, {"--silent"}), ImageKind::Named, 1,
        {kNotLoaded, kSendFailed}, "result: -14 ", kFirstQuery + kPresenceCheck + kIdentRead},
    Row{"WrongIdentification", Transfer::Load, with(kLoader, {"--ident", "XYZV0105"}), ImageKind::Asking, 1,
        {kNotLoaded, kSendFailed}, "result: -13 ", kFirstQuery + kIdentRead},
    Row{"OlderTerminal", Transfer::Load, with(kLoader, {"--ident", "VKNV0099"}), ImageKind::Asking, 1,
        {kNotLoaded, kSendFailed}, "result: -16 ", kFirstQuery + kIdentRead},
    Row{"AnotherTerminal", Transfer::Load, with(kLoader, {"--ident", "VKAV0105"}), ImageKind::Asking, 1,
        {kNotLoaded, kSendFailed}, "result: -26 ", kFirstQuery + kIdentRead},
    Row{"RefusesTheMarkers", Transfer::Load, with(kLoader, {"--wrong-ack", "15"}), ImageKind::Named, 1,
        {kNotLoaded, kSendFailed}, "result: -18 ", kFirstQuery + kPresenceCheck + kAckWait},
    Row{"RefusesTheEraseNotice", Transfer::Load, with(kLoader, {"--wrong-ack", "15"}), ImageKind::Asking, 1,
        {kNotLoaded, kSendFailed}, "result: -23 ", kFirstQuery + kIdentRead + kAckWait},
    Row{"SilentAtTheErase", Transfer::Load, with(kLoader, {"--stop-after", "4"}), ImageKind::Asking, 1,
        {kNotLoaded, kSendFailed}, "result: -25 ", kFirstQuery + kIdentRead + kErasePause + kAckWait},
    Row{"SilentAmongTheRecords", Transfer::Load, with(kLoader, {"--stop-after", "9"}), ImageKind::Asking, 1,
        {kTimedOut, kSendFailed}, "result: -19 ", kFirstQuery + kIdentRead + kErasePause + 2 * kAckWait},
    Row{"BadFlashAnswer", Transfer::Load, with(kLoader, {"--flash-id", "FF00FF"}), ImageKind::Asking, 0,
        {kSendDone}, "result: 14 ", kFirstQuery + kIdentRead + 8 * kErasePause + 100 * kByteRead},
    Row{"HangsUpAmongTheRecords", Transfer::Load, with(kLoader, {"--hangup-after", "14"}), ImageKind::Named, 1,
        {kNotLoaded, kSendFailed, "device went away"}, "result: -22 ",
        kFirstQuery + kPresenceCheck + kErasePause + kAckWait, "", false},
    // Its identification whole within the loader's 100 ms pause: three times slower than the line.
    Row{"SlowDrip", Transfer::Load, with(kLoader, {"--drip", "1"}), ImageKind::Asking, 0, {kSendDone},
        "result: 14 ", kFirstQuery + kIdentRead + kErasePause + 100 * kByteRead},
    // The identification still dripping in when the loader has dropped the first answer: its tail is
    // read as the start of the second.
    Row{"DripsPastTheFirstQuery", Transfer::Load, with(kLoader, {"--drip", "40"}), ImageKind::Asking, 1,
        {kNotLoaded, kSendFailed}, "result: -13 ", kFirstQuery + kIdentRead},
    Row{"AtTheLinesPace", Transfer::Load, with(kLoader, {"--baud-throttle"}), ImageKind::Asking, 0,
        {kSendDone}, "result: 14 ", kFirstQuery + kIdentRead + kErasePause + 100 * kByteRead},
    // At the line's pace the whole unasked line and the identification are in before the loader reads:
    // its purge after the first query drops what it did not read.
    Row{"TalksUnasked", Transfer::Load, with(kLoader, {"--chatter", "--baud-throttle"}), ImageKind::Asking, 0,
        {kSendDone}, "result: 14 ", kFirstQuery + kIdentRead + kErasePause + 100 * kByteRead}), rowName);

INSTANTIATE_TEST_SUITE_P(HexBlockLoad, HostileTerminal, ::testing::Values(
    Row{"SilentAfterTheIdentification", Transfer::Load, with(kRmtLoader, {"--stop-after", "1"}),
        ImageKind::HexBlock, 1, {kNotLoaded, kSendFailed}, "result: -34 ", kFirstQuery + 3 * kRuleTry},
    Row{"SilentAtTheSecondDataLine", Transfer::Load, with(kRmtLoader, {"--stop-after", "3"}),
        ImageKind::HexBlock, 1, {kNotLoaded, kSendFailed}, "result: -34 ", kFirstQuery + 5 * kRuleTry},
    Row{"RefusesEveryCommand", Transfer::Load, with(kRmtLoader, {"--wrong-ack", "15"}), ImageKind::HexBlock,
        1, {kNotLoaded, kSendFailed}, "result: -34 ", kFirstQuery + 3 * kRuleTry},
    Row{"HangsUpMidway", Transfer::Load, with(kRmtLoader, {"--hangup-after", "3"}), ImageKind::HexBlock, 1,
        {kNotLoaded, kSendFailed}, "result: -22 ", kFirstQuery + 5 * kRuleTry, "", false},
    Row{"TalksUnasked", Transfer::Load, with(kRmtLoader, {"--chatter"}), ImageKind::HexBlock, 1,
        {kNotLoaded, kSendFailed}, "result: -14 ", kFirstQuery + kIdentRead}), rowName);

// Silence costs the line protocol a second an attempt, a hundred attempts a frame: those rows are on
// the virtual clock beside the transfer.
INSTANTIATE_TEST_SUITE_P(LineLoad, HostileTerminal, ::testing::Values(
    Row{"RefusesTheFirstFrame", Transfer::Load, with(kLineLoader, {"--wrong-ack", "15"}), ImageKind::Line, 1,
        {kNotLoaded, kSendFailed}, "result: -23 ", kFirstQuery + 100 * kLineAttempt},
    // An answer one byte too long still has its ACK where the loader looks; the byte left over
    // spoils the next answer, whose frame then goes again.
    Row{"OverlongAnswers", Transfer::Load, with(kLineLoader, {"--overlong"}), ImageKind::Line, 0,
        {kSendDone}, "result: 10 ", kFirstQuery + milliseconds(1000) + 100 * kLineAttempt},
    Row{"HangsUpMidway", Transfer::Load, with(kLineLoader, {"--hangup-after", "4"}), ImageKind::Line, 1,
        {kNotLoaded, kSendFailed}, "result: -22 ", kFirstQuery + 100 * kLineAttempt, "", false},
    // Far slower than the line, yet within the read's 100 ms between bytes with room for a busy
    // machine: one gap past it would put every later answer out of step for good.
    Row{"SlowDrip", Transfer::Load, with(kLineLoader, {"--drip", "20"}), ImageKind::Line, 0, {kSendDone},
        "result: 10 ", kFirstQuery + milliseconds(1000) + 16 * kLineAttempt},
    // The unasked line shifts every later answer by two bytes: no ACK is ever where it belongs.
    Row{"TalksUnasked", Transfer::Load, with(kLineLoader, {"--chatter"}), ImageKind::Line, 1,
        {kNotLoaded, kSendFailed}, "result: -23 ", kFirstQuery + 100 * kLineAttempt}), rowName);
// clang-format on

}  // namespace
}  // namespace e2e
