// Command line of hhtsim.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "hhtsim/wire.h"

namespace hhtsim {

enum class Role { Auto, IniReceiver, DataSender, Loader, RmtLoader, LineLoader };

struct Misbehaviour {
    bool silent = false;
    std::optional<int> stopAfter;  // answer this many frames, then nothing
    std::optional<std::uint8_t> wrongAck;
    bool badCheck = false;  // data-sender: wrong check byte on every frame
    bool overlong = false;
    bool chatter = false;               // a line of its own, unasked, before its first answer
    std::chrono::milliseconds drip{0};  // pause between the bytes the terminal sends
    std::optional<int> hangupAfter;     // answer this many frames, then close the line
    bool baudThrottle = false;
    std::optional<int> baud;
    // Data bits, parity and stop bits for --baud-throttle in place of what the device shows (its
    // baud field is not used).
    std::optional<CharacterFormat> format;
};

struct Options {
    Role role = Role::Auto;
    bool once = false;
    std::string link;
    std::string out;
    std::string records;
    std::optional<std::string> ident;
    std::string flashOut;
    std::string log;
    std::string wireLog;
    std::string record;
    std::optional<std::uint64_t> chaos;  // the seed
    std::optional<int> chaosPlan;        // print the plan for this many messages and end
    bool punctual = false;               // poll, not sleep, through the last stretch before a byte's time
    std::chrono::milliseconds latencyTimer{0};  // a USB adapter's, on the bytes to the host; 0: none
    std::array<std::uint8_t, 3> flashId{0xA4, 0x01, 0x00};
    bool autoRmt = false;
    bool autoData = false;
    std::chrono::milliseconds idleTimeout{15000};
    Misbehaviour misbehaviour;
    bool help = false;
};

struct UsageError {
    std::string message;
};

std::variant<Options, UsageError> parseOptions(const std::vector<std::string>& args);
std::string helpText();
const char* roleName(Role role);

// The identification the terminal gives when --ident is not set.
std::string defaultIdent(Role role);

}  // namespace hhtsim
