// The process's open ports, by port number (its low byte, as the device rule uses). The transfers
// open one port at a time, but nothing stops two threads or two callers from using the table at once.
#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "com_port.h"

namespace comrig {

class PortTable {
  public:
    // The open port with this number, or null. The port stays usable by the caller even if another
    // thread closes it meanwhile: its calls then report it not open.
    std::shared_ptr<ComPort> find(int portNumber);
    // Closes and forgets the port, if it is open; waits for a call in progress on it.
    void close(int portNumber);
    // Opens the port, closing it first if it is open.
    serial::Error open(int portNumber, const serial::LineConfig& config);

  private:
    static int keyOf(int portNumber) { return portNumber & 0xFF; }
    std::shared_ptr<ComPort> remove(int key);

    std::mutex openCloseMutex_;  // one ComOpen or ComClose at a time
    std::mutex mapMutex_;        // held only to look up or change the map, never across port I/O
    std::map<int, std::shared_ptr<ComPort>> ports_;
};

// The one table of the library.
PortTable& portTable();

}  // namespace comrig
