#include "port_table.h"

#include <mutex>

namespace comrig {

std::shared_ptr<ComPort> PortTable::find(int portNumber) {
    const std::lock_guard guard(mapMutex_);
    const auto found = ports_.find(keyOf(portNumber));
    return found != ports_.end() ? found->second : nullptr;
}

void PortTable::close(int portNumber) {
    const std::lock_guard serialised(openCloseMutex_);
    if (const std::shared_ptr<ComPort> port = remove(keyOf(portNumber))) {
        port->close();
    }
}

serial::Error PortTable::open(int portNumber, const serial::LineConfig& config) {
    const std::lock_guard serialised(openCloseMutex_);
    const int key = keyOf(portNumber);
    if (const std::shared_ptr<ComPort> old = remove(key)) {
        old->close();
    }
    auto port = std::make_shared<ComPort>();
    serial::Error opened = port->open(portNumber, config);
    if (opened.ok()) {
        const std::lock_guard guard(mapMutex_);
        ports_[key] = std::move(port);
    }
    return opened;
}

std::shared_ptr<ComPort> PortTable::remove(int key) {
    const std::lock_guard guard(mapMutex_);
    const auto found = ports_.find(key);
    if (found == ports_.end()) {
        return nullptr;
    }
    std::shared_ptr<ComPort> port = std::move(found->second);
    ports_.erase(found);
    return port;
}

PortTable& portTable() {
    // Never destroyed: a caller's thread may still use a port while the process exits.
    static PortTable* const table = new PortTable();
    return *table;
}

}  // namespace comrig
