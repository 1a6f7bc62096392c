// The two file transfers over the link: an INI file to the terminal, and the terminal's collected
// records back into import.txt. Each returns true or false and has shown its own messages where a
// step fails for a known cause; the command that called it shows the overall result.
//
// What the person sees, in order, is part of the behaviour:
// - A raised error (the file cannot be opened or read, a settings column is not a number, comrig or
//   one of its functions is missing, Ctrl-C in formwell-cli, a frame too short to store) ends the
//   transfer in its error handler: a beep, the stop box "ERROR" / "ERROR: " number CR LF description,
//   the port closed. The send closes the port after the box, the receive before it.
// - Every path closes the port (and the file) before the transfer returns.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "formwell/common/user_interaction.h"
#include "formwell/document/output_file.h"
#include "formwell/link/comrig_table.h"
#include "formwell/link/link_primitives.h"
#include "formwell/link/port_settings.h"

namespace formwell::link {

inline constexpr const char* kDataFileName = "import.txt";
// The previous import.txt, kept when a receive empties it.
inline constexpr const char* kDataBackupFileName = "import.txt.bak";

inline constexpr std::int16_t kSendRequestTries = 50;     // about 10 s of SOH before giving up
inline constexpr std::int16_t kReceiveRequestTries = 25;  // about 5 s
inline constexpr std::int16_t kFrameTries = 3;
inline constexpr std::int16_t kReleaseTries = 3;

// ComReadBuf's arguments for one record: ETX ends a frame; at most 200 bytes; 5 s of silence.
inline constexpr std::int32_t kReadTerminator = 0x03;
inline constexpr std::int32_t kReadMaxBytes = 200;
inline constexpr std::int32_t kReadWaitSeconds = 5;
inline constexpr std::int32_t kCheckByteWaitMs = 1;  // the read leaves the check byte waiting
inline constexpr std::int32_t kAckPauseMs = 50;      // after acknowledging a record

inline constexpr std::string_view kSendActivity = "Transmit ini File";
inline constexpr std::string_view kReceiveActivity = "Receive File From HHT";

// Writes one received record: the trimmed frame without its first character (STX) and its last four
// (CR, LF, ETX, NUL), then CR LF. A trimmed frame shorter than five characters raises error 5; a
// write that fails raises the file's error.
bool storeRecord(OutputFile& dataFile, std::string_view trimmedFrame);

// Keeps a non-empty import.txt as import.txt.bak (replaced atomically) before a receive empties it,
// so records not yet imported downstream survive a receive that fails or brings nothing. A missing or
// empty import.txt leaves the backup as it was. Raises the file's error when it cannot be read or the
// backup cannot be written; import.txt is then not touched.
void keepPreviousDataFile(const std::string& dataFile, const std::string& backupFile);

class Transfers {
  public:
    // `settings` and `status` outlive every transfer, like module-level values: an error handler
    // closes the port number a failed load left behind.
    Transfers(ComrigTable comrig, UserInteraction& ui, std::string startupDirectory, PortSettings& settings,
              LinkStatus& status, OpenFailureReporter onOpenFailure = {});

    // The INI send: the file, the settings, the port, SOH until ACK (50 tries), one frame per line
    // (3 sends each), EOT until ACK (3 tries). Lines end at CR LF, CR or a lone LF, as the editor
    // reads INI files. True when every step was acknowledged.
    bool sendIniFile(const std::string& path);

    // The data receive into import.txt in the start-up directory, emptied first (its previous
    // content kept as import.txt.bak): the settings, the port, SOH until ACK (25 tries), then one
    // frame per record, each acknowledged after its check byte matched, until the terminal's EOT.
    // True only when the EOT was seen.
    bool receiveDataFile();

    const std::string& startupDirectory() const { return startupDirectory_; }

  private:
    void closePortAfterError();
    void reportProgress(std::string_view activity, std::int64_t done, std::int64_t total, bool finished);

    ComrigTable comrig_;
    UserInteraction& ui_;
    std::string startupDirectory_;
    PortSettings& settings_;
    LinkStatus& status_;
    OpenFailureReporter onOpenFailure_;
};

// "ERROR: " number CR LF description: the text of a transfer's error box.
std::string transferErrorText(const AppError& error);

}  // namespace formwell::link
