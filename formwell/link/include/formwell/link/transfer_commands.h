// The commands behind "Transmit ini File" (DownINI) and "Receive File From HHT" (Upload), as plain
// logic: the file dialog, the confirmation, the hourglass, the transfer and the overall result, in
// the order the person sees them. The window and formwell-cli both run them; the tests run them
// against a fake comrig and the recording interaction.
#pragma once

#include <functional>
#include <string>

#include "formwell/common/user_interaction.h"
#include "formwell/link/comrig_table.h"
#include "formwell/link/link_primitives.h"
#include "formwell/link/port_settings.h"
#include "formwell/link/transfer_guard.h"
#include "formwell/link/transfer_history.h"
#include "formwell/link/transfers.h"

namespace formwell::link {

inline constexpr const char* kSendDialogTitle = "Select File to Download";
inline constexpr const char* kSendConfirmText =
    "Connect the HHT Cradle to the com port.\r\n"
    "From DATA TRANSFER menu select 2 to download file.\r\n"
    " Click on Yes to continue with download. Continue ?";
inline constexpr const char* kReceiveConfirmText =
    "Connect the HHT Cradle to the com port.\r\n"
    "From DATA TRANSFER menu select 1 to upload file. \r\n"
    "Click on Yes to continue with upload. Continue ?";
inline constexpr const char* kConfirmTitle = "Download ?";

class LinkCommands {
  public:
    // With a `history`, every transfer that started adds its line there and leaves its byte trace.
    LinkCommands(UserInteraction& ui, std::string startupDirectory, ComrigTable comrig, TransferGuard& guard,
                 TransferHistory* history = nullptr);

    // DownINI: "Select File to Download", the "Download ?" question, the hourglass, the send, then
    // "Download Failed!" ("Operation Cancelled", with the step the terminal did not answer beneath) or a beep
    // and "Download Process Complete!"
    // ("Process Complete"), then the default pointer.
    void transmitIniFile();
    // The same for a file already chosen (formwell-cli's argument): everything after the dialog.
    void transmitIniFile(const std::string& path);
    // Upload: the hourglass, the "Download ?" question, the receive, then a beep and "Upload Complete
    // ..." or "Data Upload Failed ..." (beneath either: the cause of a failure, the records stored and
    // where), then the default pointer.
    void receiveFile();

    // formwell-cli --port: the transfers open port N, with mbx.dat's other settings.
    void overridePort(std::optional<std::int32_t> port) {
        portOverride_ = port;
        transfers_.overridePort(port);
    }

    CommandOutcome lastOutcome() const { return outcome_; }
    const PortSettings& portSettings() const { return settings_; }

  private:
    void transmit(const std::function<std::string()>& choosePath);
    void transmitSteps(const std::function<std::string()>& choosePath, std::string& path);
    void receiveSteps();
    void recordTransfer(std::string_view command, const std::string& file, const std::string& detail);

    UserInteraction& ui_;
    TransferGuard& guard_;
    TransferHistory* history_;
    std::string lastDetail_;  // the words beneath the last result box
    std::optional<std::int32_t> portOverride_;
    PortSettings settings_;  // kept between transfers, like the status
    LinkStatus status_;
    Transfers transfers_;
    CommandOutcome outcome_ = CommandOutcome::NotStarted;
};

}  // namespace formwell::link
