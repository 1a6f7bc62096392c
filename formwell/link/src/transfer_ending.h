// Every end of a file transfer in one place: what the transfer holds is let go in the order the person
// and the terminal rely on, on the way out of a success, a failure and the error handler alike. The
// progress line ends with the port.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "formwell/link/transfers.h"

namespace formwell::link {

class Transfers::Ending {
  public:
    // The receive closes the port before its file and before its error box; the send after both.
    enum class Order : std::uint8_t { PortFirst, PortLast };

    // `closeFile` closes the transfer's file, if it has one open; it may raise on a normal end (records
    // not on the disk are a failure of their own), which the error handler then reports.
    Ending(Transfers& transfers, std::string_view activity, Order order, std::function<void()> closeFile)
        : t_(transfers), activity_(activity), order_(order), closeFile_(std::move(closeFile)) {}

    void portOpened() { portOpen_ = true; }
    // From here the person sees the transfer under way; `total` is -1 when it is not known.
    void startReporting(std::int64_t total) {
        reporting_ = true;
        total_ = total;
        report(0);
    }
    void report(std::int64_t done) {
        done_ = done;
        t_.reportProgress(activity_, done_, total_, false);
    }

    // A normal end, success or failure: the port (when this transfer opened it) and the file in the
    // transfer's order, then the progress line. Returns `result`.
    bool finish(bool result) {
        if (order_ == Order::PortFirst) {
            closePort();
            closeFile_();
        } else {
            closeFile_();
            closePort();
        }
        endReporting();
        return result;
    }

    // The error handler's end: a beep, the file, then the port and the stop box in the transfer's
    // order (the port is closed whatever it holds, even when this transfer never opened it), the
    // button recorded in the link status. Returns false.
    bool fail(const AppError& error) {
        t_.ui_.beep();
        try {
            closeFile_();
        } catch (const AppError&) {  // the error being reported comes first
        }
        if (order_ == Order::PortFirst) {
            letGoOfPort();
        }
        t_.status_.record(buttonCode(t_.ui_.show(critical("ERROR", transferErrorText(error)))));
        if (order_ == Order::PortLast) {
            letGoOfPort();
        }
        return false;
    }

  private:
    void closePort() {
        if (portOpen_) {
            portOpen_ = false;
            (void)t_.comrig_.ComClose(t_.settings_.PortNumber);
        }
    }
    void letGoOfPort() {
        portOpen_ = false;
        t_.closePortAfterError();
        endReporting();
    }
    void endReporting() {
        if (reporting_) {
            reporting_ = false;
            t_.reportProgress(activity_, done_, total_, true);
        }
    }

    Transfers& t_;
    std::string_view activity_;
    Order order_;
    std::function<void()> closeFile_;
    bool portOpen_ = false;
    bool reporting_ = false;
    std::int64_t done_ = 0;
    std::int64_t total_ = -1;
};

}  // namespace formwell::link
