#include "transfer_support.h"

#include "formwell/link/comrig_trace.h"
#include "open_failure_explanation.h"

namespace formwell::cli {

link::ComrigTable transferComrig(CommandContext& context) {
    link::ComrigTable table = context.comrig();
    if (context.global.trace) {
        table = link::tracedComrig(std::move(table), context.err);
    }
    // Outside the trace: a call stopped by Ctrl-C never reached the port, so it is not traced.
    return link::interruptibleComrig(std::move(table), context.interrupted);
}

link::OpenFailureReporter openFailureReporter(CommandContext& context) {
    return [&err = context.err](std::int32_t result, const link::PortSettings& settings) {
        err << "  " << explainComOpenFailure(result, settings) << '\n' << std::flush;
    };
}

int exitStatusOf(link::CommandOutcome outcome) {
    return outcome == link::CommandOutcome::Succeeded ? kExitSuccess : kExitFailed;
}

}  // namespace formwell::cli
