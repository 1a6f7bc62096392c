#include "formwell/link/program_load.h"

#include <exception>
#include <filesystem>
#include <system_error>

#include "formwell/common/app_error.h"
#include "formwell/common/show_file_dialog.h"
#include "formwell/link/image_findings.h"
#include "formwell/link/transfers.h"
#include "port_words.h"
#include "pushkit.h"
#include "pushkit/image/image_name.h"
#include "serial/open_failure.h"
#include "serial/serial_device.h"

namespace formwell::link {

namespace {

constexpr std::int32_t kNoAcknowledgement = PUSHKIT_ERR_NO_ACK;  // the loader's time-out
constexpr std::int32_t kPortNotOpened = PUSHKIT_ERR_PORT;

// The loader takes the platform's codes: parity 0 none, 1 odd, 2 even; stop bits 0 one, 2 two.
std::int32_t loaderParity(std::int32_t parityCode) {
    return parityCode - 1;
}
std::int32_t loaderStopBits(std::int32_t stopBits) {
    return stopBits == 1 ? 0 : stopBits;
}

// The speeds the loader itself picks: every transfer but two runs at 19200 baud; a terminal that
// answers RMT is loaded at the asked speed, and the line protocol (VKS images) at 115200, 8N1.
constexpr std::int32_t kLoaderBaud = 19200;
constexpr std::int32_t kLineProtocolBaud = 115200;

// Why the loader could not open the port: it is tried again, now the load is over, for the system's
// reason.
std::string whyThePortDidNotOpen(std::int32_t port) {
    serial::SerialDevice device;
    const serial::Error error = device.open(port, serial::LineConfig{});
    if (error.ok()) {
        return "COM" + std::to_string(port & 0xFF) +
               " opens now: it was busy or missing while the loader tried it.";
    }
    return serial::explainOpenFailure(error, port);
}

// The problems the check would refuse the image for, as the CLI words them, at most a screenful.
std::string problemList(const ImageReport& report) {
    std::string text;
    std::size_t listed = 0;
    for (const ImageFinding& f : report.findings) {
        if (f.level != FindingLevel::Refuse) {
            continue;
        }
        if (listed == kImageProblemsListed) {
            break;
        }
        text += (listed++ == 0 ? "" : "\n") + findingLine(f);
    }
    if (report.check.refusals > listed) {
        text += "\n... and " + std::to_string(report.check.refusals - listed) + " more";
    }
    return text;
}

}  // namespace

DownloadArguments downloadArguments(const std::string& imagePath, const PortSettings& settings,
                                    const LoadOverrides& overrides) {
    DownloadArguments arguments;
    arguments.imagePath = imagePath;
    arguments.port = overrides.port.value_or(settings.PortNumber);
    arguments.baud = overrides.baud.value_or(settings.BaudRate);
    arguments.dataBits = settings.DataBits;
    arguments.parity = loaderParity(settings.Parity.number());
    arguments.stopBits = loaderStopBits(settings.StopBits);
    arguments.wakeMethod = overrides.wakeMethod;
    return arguments;
}

std::optional<std::string> loadFailureText(std::int32_t result, const std::string& imagePath) {
    if (result == kNoAcknowledgement) {
        return "Timed Out!  File Name: " + imagePath + " was not Downloaded to the Hand Held!";
    }
    if (result < 0) {
        return "File Name: " + imagePath + " was not Downloaded to Hand Held!";
    }
    return std::nullopt;
}

std::string loadLineText(const DownloadArguments& a) {
    const std::string port = portAndDevice(a.port) + ": ";
    const std::string frame =
        std::to_string(a.dataBits) + " data bits, " + parityWords(a.parity) + ", " + stopBitWords(a.stopBits);
    switch (pushkit::imageRoute(a.imagePath)) {
        case pushkit::ImageRoute::LineProtocol:
            return port + std::to_string(kLineProtocolBaud) + " baud, 8 data bits, no parity, 1 stop bit";
        case pushkit::ImageRoute::SRecord:
            if (a.baud != kLoaderBaud) {
                return port + std::to_string(kLoaderBaud) + " baud (" + std::to_string(a.baud) +
                       " baud to a terminal answering RMT), " + frame;
            }
            break;
        case pushkit::ImageRoute::RawStream:
        case pushkit::ImageRoute::UnknownHexPrefix:
            break;
    }
    return port + std::to_string(kLoaderBaud) + " baud, " + frame;
}

ProgramLoad::ProgramLoad(UserInteraction& ui, std::string startupDirectory, LoadRunner runner,
                         TransferGuard& guard, LoadOverrides overrides, TransferHistory* history)
    : ui_(ui),
      startupDirectory_(std::move(startupDirectory)),
      runner_(std::move(runner)),
      guard_(guard),
      overrides_(std::move(overrides)),
      history_(history) {}

bool ProgramLoad::downloadProgram(const std::string& fileName) {
    std::int32_t result = 0;
    try {
        if (!loadPortSettings(startupDirectory_, ui_, settings_)) {
            return false;
        }
        arguments_ = downloadArguments(fileName, settings_, overrides_);
        const LoadEnd end = runner_(*arguments_);
        result = end.result;
        result_ = result;
        progressReports_ = end.progressReports;
    } catch (const AppError& e) {
        ui_.beep();
        ui_.show(critical("ERROR", transferErrorText(e)));
        return false;
    } catch (const std::exception& e) {
        ui_.beep();
        ui_.show(critical("ERROR", transferErrorText(errorFromException(e))));
        return false;
    }
    if (const std::optional<std::string> failure = loadFailureText(result, fileName)) {
        ui_.show(plainNotice(*failure));
        return false;
    }
    return true;
}

void ProgramLoad::loadProgramInHht() {
    load(
        [this] { return showFileDialog(ui_, kProgramFileFilter, "Select File to Download", kAnyExtension); });
}

void ProgramLoad::loadProgramInHht(const std::string& path) {
    load([&path] { return path; });
}

void ProgramLoad::load(const std::function<std::string()>& choosePath) {
    const TransferGuard::Scope hold(guard_);
    if (!hold.acquired()) {
        return;  // the running transfer's outcome stays its own
    }
    std::string path;
    loadSteps(choosePath, path);
    recordLoad(path);
}

// The loader drives the port itself, so the trace this load leaves says so rather than keeping the
// bytes of an earlier transfer as if they were this one's.
void ProgramLoad::recordLoad(const std::string& path) {
    if (history_ == nullptr || outcome_ == CommandOutcome::NotStarted) {
        return;
    }
    TransferRecord record;
    record.command = std::string(kLoadActivity);
    record.port = arguments_ ? arguments_->port : settings_.PortNumber;
    record.device = serial::devicePathForPort(record.port).value_or(std::string());
    std::error_code noFullPath;
    const std::filesystem::path full = std::filesystem::absolute(path, noFullPath);
    record.file = noFullPath ? path : full.string();
    record.result = outcome_ == CommandOutcome::Succeeded ? "succeeded" : "failed";
    if (result_) {
        record.count = "result " + std::to_string(*result_) + " (" + loaderResultMeaning(*result_) + ")";
    }
    if (outcome_ == CommandOutcome::Failed) {
        record.detail = failureDetail();
    }
    history_->beginTrace(kLoadActivity);
    history_->traceStream() << "The loader library drives the port itself: its bytes are not traced.\n"
                            << record.result << (record.count.empty() ? "" : ", " + record.count) << '\n';
    history_->endTrace();
    history_->record(record);
}

void ProgramLoad::loadSteps(const std::function<std::string()>& choosePath, std::string& path) {
    outcome_ = CommandOutcome::NotStarted;
    result_.reset();
    arguments_.reset();
    progressReports_ = 0;
    markersFirst_ = false;
    flashTouch_ = FlashTouch::Untouched;
    ui_.setBusy(true);
    path = choosePath();
    if (path.empty()) {
        ui_.setBusy(false);
        return;
    }
    if (!imageMayBeLoaded(path)) {
        ui_.setBusy(false);
        return;
    }
    if (ui_.show(withDetail(question("Download ?", kLoadConfirmText, Answer::Yes), loadLineDetail(path))) !=
        Answer::Yes) {
        ui_.setBusy(false);
        return;
    }
    ui_.setBusy(true);
    if (!downloadProgram(path)) {
        outcome_ = CommandOutcome::Failed;
        if (result_) {
            flashTouch_ = flashTouchAfter(*result_, progressReports_, markersFirst_);
        }
        ui_.show(withDetail(information("Operation Cancelled", "Download Failed!"), failureDetail()));
        ui_.setBusy(false);
        return;
    }
    outcome_ = CommandOutcome::Succeeded;
    ui_.setBusy(false);
    ui_.beep();
    ui_.show(information("Process Complete", "Download Process Complete!"));
}

bool ProgramLoad::imageMayBeLoaded(const std::string& path) {
    std::string why;
    const std::optional<std::string> image = readImageAsLoaderDoes(path, why);
    if (!image) {
        return true;  // the loader reports an image it cannot read
    }
    const ImageReport report = checkImage(path, *image);
    const std::optional<pushkit::TerminalKind> named = report.check.namedKind;
    markersFirst_ = named && pushkit::terminalKind(*named).markers.has_value();
    if (!report.refused() || overrides_.imageCheckedByCaller) {
        return true;
    }
    Message ask = question(kImageCheckTitle, kImageCheckText, Answer::No);
    ask.icon = MessageIcon::Warning;
    return ui_.show(withDetail(ask, problemList(report))) == Answer::Yes;
}

// Read before the question only to describe the port: a missing or broken mbx.dat is reported where
// it always is, when the load reads it, so here it only leaves the detail out.
std::string ProgramLoad::loadLineDetail(const std::string& path) {
    try {
        const std::optional<std::string> line =
            readPortSettingsLine(startupFile(startupDirectory_, kPortSettingsFileName));
        if (!line) {
            return {};
        }
        return loadLineText(downloadArguments(path, portSettingsFromLine(*line), overrides_));
    } catch (const AppError&) {
        return {};
    } catch (const std::exception&) {
        return {};
    }
}

std::string ProgramLoad::failureDetail() const {
    if (!result_) {
        return {};  // the load never started; its cause has been shown
    }
    std::string detail = loaderResultLine(*result_);
    if (*result_ == kPortNotOpened && arguments_) {
        detail += "\n" + whyThePortDidNotOpen(arguments_->port);
    }
    if (const std::string warning = flashWarning(flashTouch_); !warning.empty()) {
        detail += "\n" + warning;
    }
    return detail;
}

}  // namespace formwell::link
