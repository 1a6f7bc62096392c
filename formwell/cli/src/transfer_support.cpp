#include "transfer_support.h"

#include "formwell/link/comrig_trace.h"

namespace formwell::cli {

link::ComrigTable transferComrig(CommandContext& context) {
    // Inside the trace: a call stopped by Ctrl-C ends before the trace writes its line, and a read
    // made in slices to see Ctrl-C is traced as the one read it stands for.
    link::ComrigTable table = link::interruptibleComrig(context.comrig(), context.interrupted);
    if (context.global.trace) {
        table = link::tracedComrig(std::move(table), context.err);
    }
    return table;
}

int exitStatusOf(link::CommandOutcome outcome) {
    return outcome == link::CommandOutcome::Succeeded ? kExitSuccess : kExitFailed;
}

}  // namespace formwell::cli
