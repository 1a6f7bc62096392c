#include "hhtsim/options.h"

#include <algorithm>
#include <charconv>
#include <iterator>

#include "hhtsim/loader_codec.h"

namespace hhtsim {

namespace {

struct RoleEntry {
    const char* name;
    Role role;
};
constexpr RoleEntry kRoles[] = {
    {"auto", Role::Auto},     {"ini-receiver", Role::IniReceiver}, {"data-sender", Role::DataSender},
    {"loader", Role::Loader}, {"rmt-loader", Role::RmtLoader},     {"line-loader", Role::LineLoader}};

std::optional<long> parseNumber(const std::string& text, long low, long high) {
    long value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::uint8_t> parseByte(std::string text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text = text.substr(2);
    }
    if (text.size() == 1) {
        text = "0" + text;
    }
    if (text.size() != 2) {
        return std::nullopt;
    }
    return hexByte(text[0], text[1]);
}

// What an option takes, and where in Options it goes.
struct Flag {  // nothing: "--name=value" is an error, unless the value is ignored
    bool* into;
    bool ignoresValue = false;
};
struct RoleName {  // a name from kRoles
    Role* into;
};
struct Text {  // any text but an empty one
    std::string* into;
};
struct Ident {  // a text of 1 to `longest` characters
    std::optional<std::string>* into;
    std::size_t longest;
};
struct Count {  // a number from low to high
    std::optional<int>* into;
    long low, high;
};
struct Millis {  // milliseconds from low to high
    std::chrono::milliseconds* into;
    long low, high;
};
struct Seed {  // a number from low to high
    std::optional<std::uint64_t>* into;
    long low, high;
};
struct HexByte {  // "15", "0x15", "F"
    std::optional<std::uint8_t>* into;
};
struct FlashId {  // six hexadecimal digits
    std::array<std::uint8_t, 3>* into;
};
struct Format {  // "8N1", as parseCharacterFormat reads it
    std::optional<CharacterFormat>* into;
};
using Takes = std::variant<Flag, RoleName, Text, Ident, Count, Millis, Seed, HexByte, FlashId, Format>;

struct OptionRow {
    const char* name;
    Takes takes;
    const char* needs = nullptr;  // the message for a bad value: "hhtsim: <name> needs <needs> (see --help)"
};

template <class... F>
struct Overload : F... {
    using F::operator()...;
};
// Spelled out: clang 14, which builds the fuzz targets, deduces no aggregate's template arguments.
template <class... F>
Overload(F...) -> Overload<F...>;

// Puts `text` (not empty) where the option goes; false when it is not a value the option takes.
bool store(const Takes& takes, const std::string& text) {
    return std::visit(
        Overload{
            [](const Flag&) { return false; },
            [&](const RoleName& to) {
                const auto* entry = std::find_if(std::begin(kRoles), std::end(kRoles),
                                                 [&](auto& e) { return text == e.name; });
                if (entry == std::end(kRoles)) {
                    return false;
                }
                *to.into = entry->role;
                return true;
            },
            [&](const Text& to) {
                *to.into = text;
                return true;
            },
            [&](const Ident& to) {
                if (text.size() > to.longest) {
                    return false;
                }
                *to.into = text;
                return true;
            },
            [&](const Count& to) {
                auto n = parseNumber(text, to.low, to.high);
                if (n) {
                    *to.into = static_cast<int>(*n);
                }
                return n.has_value();
            },
            [&](const Millis& to) {
                auto n = parseNumber(text, to.low, to.high);
                if (n) {
                    *to.into = std::chrono::milliseconds(*n);
                }
                return n.has_value();
            },
            [&](const Seed& to) {
                auto n = parseNumber(text, to.low, to.high);
                if (n) {
                    *to.into = static_cast<std::uint64_t>(*n);
                }
                return n.has_value();
            },
            [&](const HexByte& to) { return (*to.into = parseByte(text)).has_value(); },
            [&](const FlashId& to) {
                if (text.size() != 6) {
                    return false;
                }
                for (std::size_t k = 0; k < 3; ++k) {
                    auto b = hexByte(text[2 * k], text[2 * k + 1]);
                    if (!b) {
                        return false;
                    }
                    (*to.into)[k] = *b;
                }
                return true;
            },
            [&](const Format& to) { return (*to.into = parseCharacterFormat(text, 0)).has_value(); },
        },
        takes);
}

}  // namespace

const char* roleName(Role role) {
    for (const auto& entry : kRoles) {
        if (entry.role == role) {
            return entry.name;
        }
    }
    return "?";
}

std::string defaultIdent(Role role) {
    return role == Role::RmtLoader ? "RMT VKN01" : "VKNV0105";
}

std::variant<Options, UsageError> parseOptions(const std::vector<std::string>& args) {
    Options options;
    auto& m = options.misbehaviour;
    const OptionRow rows[] = {
        {"--help", Flag{.into = &options.help, .ignoresValue = true}},
        {"-h", Flag{.into = &options.help, .ignoresValue = true}},
        {"--role", RoleName{&options.role}, "a role"},
        {"--once", Flag{&options.once}},
        {"--link", Text{&options.link}, "a path"},
        {"--out", Text{&options.out}, "a file name"},
        {"--records", Text{&options.records}, "a file name"},
        {"--flash-out", Text{&options.flashOut}, "a file name"},
        {"--log", Text{&options.log}, "a file name"},
        {"--record", Text{&options.record}, "a file name"},
        {"--chaos", Seed{&options.chaos, 0, 999999999999999999L}, "a seed, a number from 0"},
        {"--chaos-plan", Count{&options.chaosPlan, 1, 1000000}, "a count of messages from 1"},
        {"--punctual", Flag{&options.punctual}},
        {"--latency-timer", Millis{&options.latencyTimer, 0, 255}, "milliseconds from 0 to 255"},
        {"--wire-log", Text{&options.wireLog}, "a file name"},
        {"--ident", Ident{&options.ident, 18}, "a text of 1 to 18 characters"},
        {"--flash-id", FlashId{&options.flashId}, "six hexadecimal digits, e.g. A40100"},
        {"--rmt", Flag{&options.autoRmt}},
        {"--auto-data", Flag{&options.autoData}},
        {"--idle-timeout", Millis{&options.idleTimeout, 100, 3600000}, "milliseconds from 100 to 3600000"},
        {"--silent", Flag{&m.silent}},
        {"--stop-after", Count{&m.stopAfter, 0, 1000000}, "a count from 0"},
        {"--hangup-after", Count{&m.hangupAfter, 0, 1000000}, "a count from 0"},
        {"--wrong-ack", HexByte{&m.wrongAck}, "a byte in hexadecimal, e.g. 15"},
        {"--bad-check", Flag{&m.badCheck}},
        {"--overlong", Flag{&m.overlong}},
        {"--chatter", Flag{&m.chatter}},
        {"--drip", Millis{&m.drip, 0, 10000}, "milliseconds from 0 to 10000"},
        {"--baud-throttle", Flag{&m.baudThrottle}},
        {"--baud", Count{&m.baud, 50, 4000000}, "a baud rate from 50 to 4000000"},
        {"--format", Format{&m.format}, "data bits, parity and stop bits, e.g. 8N1 or 7E2"},
    };
    auto error = [](const std::string& what) { return UsageError{"hhtsim: " + what + " (see --help)"}; };
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;  // from "--name=value", else the next argument
        if (auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        const auto* row =
            std::find_if(std::begin(rows), std::end(rows), [&](auto& r) { return name == r.name; });
        if (row == std::end(rows)) {
            return error("unknown argument \"" + args[i] + "\"");
        }
        if (const auto* flag = std::get_if<Flag>(&row->takes)) {
            if (value && !flag->ignoresValue) {
                return error(name + " takes no value");
            }
            *flag->into = true;
            continue;
        }
        if (!value && i + 1 < args.size()) {
            value = args[++i];
        }
        if (!value || value->empty()) {
            return error(name + " needs " + row->needs);
        }
        if (!store(row->takes, *value)) {
            return error(std::holds_alternative<RoleName>(row->takes) ? "unknown role \"" + *value + "\""
                                                                      : name + " needs " + row->needs);
        }
    }
    return options;
}

std::string helpText() {
    return R"(Usage: hhtsim [options]
A simulated hand-held terminal on a pseudo-terminal. The first line on standard output is the device
path for the host to open; hhtsim serves until SIGINT/SIGTERM, or until its first exchange ends (--once).

  --role ROLE        auto (default), ini-receiver, data-sender, loader, rmt-loader, line-loader
                     auto: SOH starts an INI receive or a data send (see below), ESC "XLT" 0x0B a loader
                     session (rmt-loader with --rmt), an STX line frame the line loader
  --once             end after one exchange; exit 0 when it completed, 1 otherwise
  --link PATH        make a symbolic link to the device (an existing symlink is replaced; removed on exit)
  --out FILE         INI receive: store the lines here (CR LF each, as they arrived); written when the
                     EOT arrives, so an incomplete receive leaves the old file alone
  --records FILE     data send: the records to send, one per line
  --ident TEXT       loader identification (first 8 of the 18-byte answer; default VKNV0105), or the
                     rmt-loader answer, "RMT" put in front if missing (default "RMT VKN01")
  --flash-id HEX     loader: the three bytes that answer the flash query (default A40100)
  --flash-out FILE   loader roles: write the written ranges of the emulated flash as S2 records
                     after each loader session
  --log FILE         machine-readable event log, one line per event:
                       <ms since start> <rx|tx|note> <event>
                     e.g. 120 rx SOH / 121 tx ACK / 340 rx FRAME STX "QTY\r\n" xor=OK /
                     900 rx FRAME DLE ERASE block=9 bcc=OK / 905 tx FLASHID A4 01 00 /
                     950 rx LINEFRAME seq=0 "P1" bcc=OK / 951 tx LINEFRAME seq=0 ACK
                     Bytes no exchange expects: the first 8 of a run one per line (rx BYTE 0x13),
                     the rest in one line when the run ends (rx STRAY <n> more bytes: <first 16 in
                     hex> ...), so noise on the line cannot swell the log
  --record FILE      the terminal's record of what it holds, one line per event, flushed as it happens:
                       <ms since start> SESSION <role> | ACCEPT "<line>" answer=clean|garbled |
                       STORED <n> lines | SENT <record> try=<t> "<text>" | ACKED <record> | EOT |
                       CHAOS #<message> <spoiling> [details] [delay=<ms>] | EXCHANGE <outcome>
                     A data record counts as delivered once it is ACKED; an INI line is held once
                     accepted, the file once STORED. A loader's flash goes to --flash-out.
  --rmt              auto: answer the loader's first query as a hex-block terminal
  --auto-data        auto: always answer a SOH as a data send. Without it, after ACKing the SOH the
                     terminal listens 300 ms: an STX or EOT from the host means an INI send,
                     silence means the host waits for data
  --idle-timeout MS  abandon an exchange after MS of silence from the host (default 15000)
  --wire-log FILE    the bytes of every message, for benchmarks, one line each:
                       <us since start> <rx|tx> <bytes> <event>
                     stamped when the message was whole at the far end (with --baud-throttle: on
                     the modelled wire); rx counts the host's bytes the event was made of

Misbehaviour ("frames" are the messages the terminal answers, SOH and EOT included):
  --silent           never answer
  --stop-after N     answer N frames, then nothing (data-sender: send N records, then stop)
  --wrong-ack BYTE   answer this byte (hex, e.g. 15) where an ACK belongs
  --bad-check        data-sender: send every frame with a wrong check byte
  --overlong         data-sender: pad the first record to 300 bytes; loader: a 64-byte identification;
                     line-loader: answer frames with two text bytes
  --chatter          talk unasked: before its first answer of an exchange, send the line
                     "HHT READY" CR LF that nobody asked for (no frame, no check byte)
  --drip MS          pause MS between the bytes the terminal sends
  --hangup-after N   answer N frames, then close the line (the host sees a hang-up; hhtsim ends)
  --chaos SEED       misbehave at random, the same way for the same seed: one message in a few (one in
                     many for the loaders) is spoiled: noise before or after it, an answer twice,
                     lost, its last byte lost or 300 ms late, late, a wrong answer or check byte,
                     one byte changed, a pause (short, or as long as the host's time-outs), a drip,
                     an unasked line, or a hang-up. Each spoiled message is in --log and --record
  --chaos-plan N     with --chaos: print which of the first N messages the seed spoils, and end
  --baud-throttle    model the wire in both directions: every character takes its time at the
                     line speed (start bit, data bits, parity, stop bits), one after the other.
                     A byte the host writes counts as arrived one character time after it reached
                     the device, or after the byte before it was whole, whichever is later; the
                     terminal sees it only then, and answers at once: its answer is ready when
                     the message it answers was whole, whatever time this program took over it.
                     Each byte the terminal sends is handed to the host when its last bit would
                     arrive, the first of an answer included. Times run from the wire's own
                     schedule, so a long load does not drift; a late wake-up of this program
                     only delays the byte it was for.
                     Where it cannot be faithful: a pty has no modem lines, so DTR pulses, RTS
                     and CTS are neither sensed nor modelled; the host's drain (tcdrain) returns
                     at once, as soon as its bytes are in the pty, not when they would have left
                     a UART; a Linux pty keeps the host's speed and stop bits but shows 8 data
                     bits and no parity whatever the host set (give --format for other formats);
                     and the pty's own delivery and this program's timer wake-ups add some
                     microseconds to every exchange (more on a busy machine): bytes can come
                     later than on a wire, never earlier.
  --punctual         with --baud-throttle: poll instead of sleeping through the last 150 us before
                     each byte's time, so that a late wake-up of this program does not delay the
                     terminal's answers (keeps a core busy while the terminal talks; for
                     benchmarks, which should not count the simulator's lateness as the host's)
  --latency-timer MS model a USB serial adapter's latency timer on what the terminal sends: its bytes
                     reach the host only when MS have passed since the first of them was held, or
                     when 62 are waiting, and then all at once (FTDI adapters: 16 ms by default).
                     With --baud-throttle a byte is held from when it has crossed the wire. A host
                     that closes the port loses what was held. 0 (default): no holding
  --baud N           the speed for --baud-throttle (default: the speed the host set, else 19200)
  --format DPS       data bits, parity (N, O, E, M, S) and stop bits for --baud-throttle, e.g. 7E1
                     (default: what the device shows, else 8N1)
  --help             this text

Exit status: 0 done, 1 failure (device, files, an exchange that did not complete with --once),
2 bad arguments.
)";
}

}  // namespace hhtsim
