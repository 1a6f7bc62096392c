// "Load Program In HHT" (DownProg) and downloadProgram as plain logic: the file dialog, the image
// check, the "Download ?" question, the hourglass, the settings in the loader's codes, the load, and the
// messages for its result, in the order the person sees them. The window and formwell-cli both run
// it; the tests run it against a fake loader.
//
// The load itself runs behind a seam, LoadRunner: the window runs Download on a worker thread behind
// its progress window, formwell-cli in its own process with a progress line, the tests with a fake.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "formwell/common/user_interaction.h"
#include "formwell/link/load_worker.h"
#include "formwell/link/loader_results.h"
#include "formwell/link/port_settings.h"
#include "formwell/link/transfer_guard.h"
#include "formwell/link/transfer_history.h"

namespace formwell::link {

// Both patterns for HEX images: the loader takes ".hex" in any case, a dialog may not.
inline constexpr const char* kProgramFileFilter =
    "Application S2 File (*.s2)|*.s2|Intel HEX File (*.hex *.HEX)|*.hex *.HEX||";
inline constexpr const char* kLoadConfirmText =
    "Connect the HHT Cradle to the com port.\r\r\n"
    "For MBX3300 and MBX4300 Turn Terminal off with PW key.\r\n"
    "Press 5 + 2 + PW to enter System Menu\r\n"
    "Select Download appl, now select Via cradle \r\r\n"
    "Click on Yes to continue with download. Continue ?";
inline constexpr std::string_view kLoadActivity = "Load Program In HHT";
inline constexpr const char* kImageCheckTitle = "Image Check";
inline constexpr const char* kImageCheckText =
    "The image has problems that would put wrong or missing bytes into the terminal, or make the loader "
    "refuse it.\r\nLoad it anyway?";
// The image check's question lists at most this many problems.
inline constexpr std::size_t kImageProblemsListed = 10;

// Runs one load and tells how it ended. Throws AppError when the loader cannot be reached
// (48 no library, 453 a function missing); the command reports it as a transfer reports an error.
using LoadRunner = std::function<LoadEnd(const DownloadArguments& arguments)>;

// What formwell-cli may change in the settings of one load; the window changes nothing.
struct LoadOverrides {
    std::optional<std::int32_t> port;
    std::optional<std::int32_t> baud;
    std::int32_t wakeMethod = 0;  // 0 none, 1 DTR pulses, 2 code byte
    // The caller has checked the image and decided (formwell-cli refuses it or is forced): no question.
    bool imageCheckedByCaller = false;
};

// The settings in the loader's codes: parity 1/2/3 (none, odd, even) becomes 0/1/2, one stop bit 0
// and two 2. Throws AppError 13 for a parity column that held no parity letter.
DownloadArguments downloadArguments(const std::string& imagePath, const PortSettings& settings,
                                    const LoadOverrides& overrides = {});

// The message of a failed result: -19 the time-out text, any other negative result the general one;
// nullopt for 0 and above, which count as success.
std::optional<std::string> loadFailureText(std::int32_t result, const std::string& imagePath);

// The port, its device and the line settings the load will use, for the "Download ?" question:
// "COM3 (/dev/ttyUSB0): 19200 baud, 8 data bits, no parity, 1 stop bit".
std::string loadLineText(const DownloadArguments& arguments);

class ProgramLoad {
  public:
    // With a `history`, every load that started adds its line there.
    ProgramLoad(UserInteraction& ui, std::string startupDirectory, LoadRunner runner, TransferGuard& guard,
                LoadOverrides overrides = {}, TransferHistory* history = nullptr);

    // DownProg: the hourglass, "Select File to Download", the image check (a question only for an
    // image it would refuse), the "Download ?" question, the load, then
    // "Download Failed!" ("Operation Cancelled") or a beep and "Download Process Complete!" ("Process
    // Complete"), and the default pointer. Nothing starts while another transfer holds the guard.
    void loadProgramInHht();
    // The same for an image already chosen (formwell-cli's argument): everything after the dialog.
    void loadProgramInHht(const std::string& path);

    // The settings, the load and the result's message; true when the image was loaded. A raised
    // error (a settings column that is not a number, no loader library or function) is reported as
    // the transfers report theirs: a beep and "ERROR" / "ERROR: " number CR LF description.
    bool downloadProgram(const std::string& fileName);

    CommandOutcome lastOutcome() const { return outcome_; }
    // Download's result of the last load; nullopt when no load ran.
    std::optional<std::int32_t> lastResult() const { return result_; }
    // What the last load was given; nullopt when it did not get as far as the loader.
    const std::optional<DownloadArguments>& lastArguments() const { return arguments_; }
    // What the last load that did not succeed may have left in the terminal's flash.
    FlashTouch lastFlashTouch() const { return flashTouch_; }

  private:
    void load(const std::function<std::string()>& choosePath);
    void loadSteps(const std::function<std::string()>& choosePath, std::string& path);
    void recordLoad(const std::string& path);
    // False when the person, told what is wrong with the image, chose not to load it.
    bool imageMayBeLoaded(const std::string& path);
    std::string loadLineDetail(const std::string& path);
    std::string failureDetail() const;

    UserInteraction& ui_;
    std::string startupDirectory_;
    LoadRunner runner_;
    TransferGuard& guard_;
    LoadOverrides overrides_;
    TransferHistory* history_;
    PortSettings settings_;
    CommandOutcome outcome_ = CommandOutcome::NotStarted;
    std::optional<std::int32_t> result_;
    std::optional<DownloadArguments> arguments_;
    std::int64_t progressReports_ = 0;
    bool markersFirst_ = false;  // the image names a kind whose load writes markers before erasing
    FlashTouch flashTouch_ = FlashTouch::Untouched;
};

}  // namespace formwell::link
