// Keeps the window alive while a comrig call waits (a read waits up to 5 s for a slow terminal's
// record, a long frame takes its time on the wire): the call runs on the table's one helper thread
// while this thread goes on painting and handling clicks. The helper starts at the first call and is
// joined when the last copy of the table goes (with the window). The link layer still makes its calls
// one after another, in the same order; only the waiting moves. The transfer guard keeps a second
// transfer from starting meanwhile.
#pragma once

#include "formwell/link/comrig_table.h"

namespace formwell::shell {

link::ComrigTable pumpingComrig(link::ComrigTable inner);

}  // namespace formwell::shell
