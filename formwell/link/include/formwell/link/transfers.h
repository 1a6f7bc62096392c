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
#include <optional>
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

// Stores one received record and waits until it is on the disk: the frame (from its STX, trailing
// blanks trimmed) without its first character and its last four (CR, LF, ETX, NUL), then CR LF. A
// frame shorter than five characters raises error 5; a write that fails raises the file's error and
// leaves the file ending at the record before.
void storeRecord(OutputFile& dataFile, std::string_view frame);

// The frame among the bytes a read brought: from the first STX on. Bytes before it (line noise, a
// late check byte) are no part of the record. Empty when there is no STX.
std::string_view frameFromStx(std::string_view bytes);

// Whether the bytes of a wait that ended hold the terminal's end of data: an EOT outside any frame,
// that is before the first STX. When a frame's check byte is still owed, the first byte is that check
// byte, whatever its value.
bool endsData(std::string_view bytes, bool checkByteOwed);

// Keeps a non-empty import.txt before a receive empties it, so records not yet imported downstream
// survive any number of receives that fail or bring nothing: as import.txt.bak (replaced), and as a
// dated copy beside it, import.txt.YYYYMMDD-HHMMSS.bak, which is never overwritten or removed. A
// missing or empty import.txt leaves both as they were. Raises the file's error when it cannot be
// read or a copy cannot be written; import.txt is then not touched. Returns the dated copy's file name
// (without its folder), empty when nothing was kept.
std::string keepPreviousDataFile(const std::string& dataFile, const std::string& backupFile);

// How the last transfer ended, in facts for beneath its result box. The send's steps and the receive's
// reads that end it without a box of their own leave their cause here; where a box already said why
// (the settings, the port, the error handler), the cause is None.
struct TransferReport {
    enum class Cause : std::uint8_t {
        None,
        NoLinkAnswer,   // no ACK to any of `tries` SOH
        LineRefused,    // line `line` (1-based) of `lines` went `tries` times without an ACK
        EndRefused,     // all `lines` acknowledged, then `tries` EOT without an ACK
        WaitEnded,      // neither a frame nor the end of data within the read's wait
        BadCheckBytes,  // `tries` frames in a row whose check byte did not match
        ReadFailed,     // the port could not be read
        OddReadResult,  // the read gave `readResult`
        // The port's device went away or its line hung up: for the send at line `line` (0: at the
        // link request; past `lines`: at the end of the transfer), for the receive after `stored`.
        LineLost,
    };
    Cause cause = Cause::None;
    std::int32_t tries = 0;
    std::int64_t line = 0;
    std::int64_t lines = 0;
    std::int32_t readResult = 0;
    // The receive's data file (its full path), whether this receive emptied it, the records stored
    // in it since, and the name of the dated copy its previous content was kept in (empty: none).
    std::string dataFile;
    bool dataFileEmptied = false;
    std::int64_t stored = 0;
    std::string keptCopy;
    // The progress last shown: lines sent of `total`, records stored (total -1).
    std::int64_t done = 0;
    std::int64_t total = -1;
};

// The words beneath "Download Failed!"; empty when a box before said it all.
std::string sendFailureDetail(const TransferReport& report);
// The words beneath "Upload Complete ..." (`complete`) or "Data Upload Failed ...".
std::string receiveDetail(const TransferReport& report, bool complete);

class DataFileLock;

class Transfers {
  public:
    // `settings` and `status` outlive every transfer, like module-level values: an error handler
    // closes the port number a failed load left behind.
    Transfers(ComrigTable comrig, UserInteraction& ui, std::string startupDirectory, PortSettings& settings,
              LinkStatus& status);

    // The INI send: the file, the settings, the port, SOH until ACK (50 tries), one frame per line
    // (3 sends each), EOT until ACK (3 tries). Lines end at CR LF, CR or a lone LF, as the editor
    // reads INI files. True when every step was acknowledged.
    bool sendIniFile(const std::string& path);

    // The data receive into import.txt in the start-up directory: the folder's data-file lock (one
    // receive per folder), the settings, the port; only then import.txt is emptied (its previous
    // content kept, see keepPreviousDataFile). SOH until ACK (25 tries), then one frame per record,
    // each stored and then acknowledged after its check byte matched, until the terminal's EOT.
    // True only when the EOT was seen.
    bool receiveDataFile();

    const std::string& startupDirectory() const { return startupDirectory_; }
    // The port to open in place of mbx.dat's (formwell-cli --port); the other settings stay mbx.dat's.
    void overridePort(std::optional<std::int32_t> port) { portOverride_ = port; }
    // The last transfer's ending, reset when a transfer starts.
    const TransferReport& lastReport() const { return report_; }

  private:
    class Ending;

    // mbx.dat's settings with the port override applied; false (after its message) as loadPortSettings.
    bool readSettings();
    // Takes the folder's data-file lock; false (after its message) when another receive holds it.
    bool holdDataFiles(DataFileLock& lock);
    void closePortAfterError();
    void reportProgress(std::string_view activity, std::int64_t done, std::int64_t total, bool finished);

    ComrigTable comrig_;
    UserInteraction& ui_;
    std::string startupDirectory_;
    PortSettings& settings_;
    LinkStatus& status_;
    std::optional<std::int32_t> portOverride_;
    TransferReport report_;
};

// "ERROR: " number CR LF description: the text of a transfer's error box.
std::string transferErrorText(const AppError& error);

}  // namespace formwell::link
