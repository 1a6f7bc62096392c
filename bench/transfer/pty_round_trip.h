// What the simulated wire itself costs: a byte handed to the other side of a pseudo-terminal and one
// handed back, each side of it a process that waits in poll() as the loader and hhtsim do. Every
// exchange of a transfer pays this twice over (once each way), on top of the wire time the floor
// counts; a real UART's interrupt-to-wake path costs the same order.
#pragma once

namespace bench {

// The median seconds of `exchanges` one-byte round trips through a pseudo-terminal to an echoing
// child process; a negative value when the pseudo-terminal cannot be set up.
double ptyRoundTripSeconds(int exchanges);

}  // namespace bench
