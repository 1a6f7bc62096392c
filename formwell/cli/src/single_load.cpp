#include "single_load.h"

#include <chrono>

#include "child_process.h"
#include "command_support.h"
#include "formwell/link/loader_results.h"
#include "image_check.h"
#include "load_progress.h"
#include "pushkit.h"

namespace formwell::cli {

namespace {

constexpr std::chrono::milliseconds kRefresh{100};
constexpr std::int32_t kCancelled = PUSHKIT_ERR_CANCELLED;

}  // namespace

ImageVerdict checkBeforeLoading(CommandContext& c, const std::string& image, bool force,
                                std::uint64_t& imageBytes) {
    std::string why;
    const std::optional<std::string> text = readImageAsLoaderDoes(image, why);
    if (!text) {
        note(c, image + ": " + why);
        return ImageVerdict::Unreadable;
    }
    imageBytes = text->size();
    const ImageReport report = checkImage(image, *text);
    for (const ImageFinding& f : report.findings) {
        note(c, image + (f.line > 0 ? ":" + std::to_string(f.line) : std::string()) + ": " +
                    (f.level == FindingLevel::Refuse ? "problem: " : "warning: ") + f.text);
    }
    if (report.refused()) {
        if (!force) {
            note(c, image + ": not loaded: " + std::to_string(report.check.refusals) +
                        " problem(s) would put wrong bytes into the terminal or make the loader refuse it "
                        "(formwell-cli check shows them all; --force loads it anyway)");
            return ImageVerdict::Refused;
        }
        note(c,
             image + ": loading despite " + std::to_string(report.check.refusals) + " problem(s) (--force)");
    }
    return ImageVerdict::Load;
}

std::optional<int> exitUnlessLoadable(ImageVerdict verdict) {
    switch (verdict) {
        case ImageVerdict::Load:
            return std::nullopt;
        case ImageVerdict::Unreadable:
            return kExitFailed;
        case ImageVerdict::Refused:
            return kExitRefused;
    }
    return kExitFailed;
}

int runSingleLoad(CommandContext& c, const LoadRequest& request) {
    std::uint64_t imageBytes = 0;
    if (const auto exit =
            exitUnlessLoadable(checkBeforeLoading(c, request.image, request.force, imageBytes))) {
        return *exit;
    }
    keepLoadingWhenOutputGoes();
    std::optional<ProgressChannel> channel;
    if (request.reportFd) {
        channel.emplace(*request.reportFd);
    }
    bool interrupted = false;
    link::LoadRunner runner = [&](const link::DownloadArguments& arguments) {
        return link::runLoadOnWorker(c.pushkit(), arguments, [&](link::LoadWorker& worker) {
            ConsoleLoadProgress progress(c.err, c.errorIsTerminal, "Load Program In HHT", imageBytes);
            while (!worker.waitFor(kRefresh)) {
                if (!interrupted && c.interrupted && c.interrupted()) {
                    interrupted = true;
                    worker.cancel();
                    progress.note("Ctrl-C: cancelling the load; the step under way ends first ...");
                    if (channel) {
                        channel->cancelling();
                    }
                }
                const link::LoadSnapshot snapshot = worker.poll();
                progress.show(snapshot);
                if (channel) {
                    channel->progress(snapshot);
                }
            }
            const link::LoadSnapshot last = worker.poll();
            progress.finish(last);
            if (channel) {
                channel->progress(last);
            }
        });
    };
    link::TransferGuard guard;
    // Checked above, refused or forced by --force: the command does not ask again.
    link::LoadOverrides overrides = request.overrides;
    overrides.imageCheckedByCaller = true;
    link::ProgramLoad command(c.ui, c.global.startupDirectory, runner, guard, overrides, c.history);
    command.loadProgramInHht(request.image);

    const std::optional<std::int32_t> result = command.lastResult();
    if (channel && result) {
        channel->result(*result);
    }
    if (result) {
        c.out << link::loaderResultLine(*result) << "\n";
        if (const std::string warning = link::flashWarning(command.lastFlashTouch()); !warning.empty()) {
            c.out << "terminal: " << warning << "\n";
        }
        c.out << std::flush;
    }
    if (command.lastOutcome() == link::CommandOutcome::Succeeded) {
        return kExitSuccess;
    }
    // Ctrl-C during the load, or at the question before it (which it answers No).
    const bool stoppedByCtrlC =
        (result == kCancelled && interrupted) || (!result && c.interrupted && c.interrupted());
    return stoppedByCtrlC ? kExitCancelled : kExitFailed;
}

}  // namespace formwell::cli
