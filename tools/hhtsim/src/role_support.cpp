#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "hhtsim/roles.h"

namespace hhtsim {

namespace role {

std::optional<Outcome> answerOpeningSoh(Session& session) {
    Terminal& terminal = session.terminal;
    Outcome end = Outcome::Abandoned;
    for (;;) {
        auto byte = next(session, false, end);
        if (!byte) {
            return end;
        }
        if (*byte != kSoh) {
            logStray(session, *byte);
            continue;
        }
        terminal.log().rx("SOH");
        const Permit permit = terminal.answerAck(plainAck, "ACK");
        if (permit == Permit::LineGone) {
            return Outcome::HungUp;
        }
        if (permit == Permit::Go) {
            return std::nullopt;
        }
    }
}

std::optional<std::uint8_t> next(Session& session, bool inExchange, Outcome& end) {
    auto& log = session.terminal.log();
    for (;;) {
        ReadResult result =
            session.terminal.read(inExchange ? std::optional(session.options.idleTimeout) : std::nullopt);
        switch (result.status) {
            case ReadStatus::Byte:
                return result.byte;
            case ReadStatus::Timeout:
                log.note("ABANDONED: the host fell silent");
                end = Outcome::Abandoned;
                return std::nullopt;
            case ReadStatus::HostClosed:
                if (!inExchange) {
                    continue;
                }
                log.note("ABANDONED: the host closed the port");
                end = Outcome::Abandoned;
                return std::nullopt;
            case ReadStatus::Stopped:
                end = Outcome::Stopped;
                return std::nullopt;
            case ReadStatus::HungUp:
                end = Outcome::HungUp;
                return std::nullopt;
        }
    }
}

bool storeFile(Session& session, const std::string& path, const std::string& text) {
    std::string temporary = path + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (!out) {
            std::string message = "cannot write " + temporary + ": " + std::strerror(errno);
            session.terminal.log().note("ERROR " + message);
            std::fprintf(stderr, "hhtsim: %s\n", message.c_str());
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::string message = "cannot replace " + path + ": " + error.message();
        session.terminal.log().note("ERROR " + message);
        std::fprintf(stderr, "hhtsim: %s\n", message.c_str());
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

bool saveFlash(Session& session) {
    if (session.options.flashOut.empty()) {
        return true;
    }
    if (!storeFile(session, session.options.flashOut, session.flash.toS2Text())) {
        return false;
    }
    session.terminal.log().note("FLASH SAVED " + session.options.flashOut);
    return true;
}

void logStray(Session& session, std::uint8_t byte) {
    session.terminal.log().stray(byte);
}

Bytes plainAck(std::uint8_t ack) {
    return Bytes{ack};
}

}  // namespace role

Outcome runRole(Session& session) {
    switch (session.options.role) {
        case Role::Auto:
            return runAuto(session);
        case Role::IniReceiver:
            return runIniReceiver(session, false);
        case Role::DataSender:
            return runDataSender(session, false);
        case Role::Loader:
            return runFramedLoader(session);
        case Role::RmtLoader:
            return runRmtLoader(session);
        case Role::LineLoader:
            return runLineLoader(session);
    }
    return Outcome::Failed;
}

}  // namespace hhtsim
