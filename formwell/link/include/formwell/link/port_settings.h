// The port settings: one fixed-width line in mbx.dat in the start-up directory, written by the PC
// Configuration window and read again before every transfer, so a change takes effect with the next
// one and the file is the only place settings live between transfers.
//
//   1-5 port "Com1:".."Com4:" | 6-11 baud, left-justified | 12 data bits | 13 parity letter N/O/E |
//   14 stop bits | 15 connector 0 = Cradle, 1 = IRDA
//
// Each value is padded to its width with padRight and never cut: a longer value is written whole and
// shifts what follows. There is no line ending. Readers take the columns by position, ignore
// anything after column 15, and accept a line break.
//
// Errors. The functions that convert columns to numbers, and the readers, throw AppError: the
// "raised error" that the calling transfer's error handler reports ("ERROR: " number CR LF
// description) before its overall failure message. 13 (type mismatch) for a column that is not a
// number, an empty file included; 6 (overflow) for a number beyond 32 bits; 75 for a settings
// "file" that is a directory, FIFO or device, or that cannot be read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "formwell/common/app_error.h"
#include "formwell/common/user_interaction.h"

namespace formwell::link {

inline constexpr const char* kPortSettingsFileName = "mbx.dat";
inline constexpr std::size_t kPortSettingsLineLength = 15;

// The file's columns as text, exactly as written or cut out of the file (trailing spaces kept).
struct PortSettingsText {
    std::string port;       // "Com1:".."Com4:", or empty
    std::string baud;       // "9600", "19200"
    std::string dataBits;   // "8"
    std::string parity;     // "N"
    std::string stopBits;   // "1"
    std::string connector;  // "0" Cradle, "1" IRDA, or empty when neither was chosen

    bool operator==(const PortSettingsText&) const = default;
};

// The line the dialog saves: the six values through padRight to 5, 6, 1, 1, 1, 1; no line ending.
std::string formatPortSettingsLine(const PortSettingsText& text);

// Columns of one line by position; a short line gives short or empty columns. A line break ends the
// line; anything after column 15 is ignored. Never fails.
PortSettingsText parsePortSettingsLine(std::string_view line);

// The parity column after loading: N, O and E (any case) become the codes 1, 2 and 3; any other
// character stays as it was, and using it as a number fails with error 13, as a transfer does when
// it opens the port.
class ParityCode {
  public:
    ParityCode() = default;
    static ParityCode fromColumn(std::string_view column);

    bool isCode() const { return code_.has_value(); }
    // 1 none, 2 odd, 3 even. Throws AppError 13 when the column held no parity letter.
    std::int32_t number() const;
    // The column as it stood in the file, for messages.
    const std::string& text() const { return text_; }

  private:
    std::optional<std::int16_t> code_;
    std::string text_;
};

// What every transfer uses, loaded from mbx.dat right before it starts.
struct PortSettings {
    std::int32_t PortNumber = 0;  // from column 4: its digit, or 0 for any other character
    std::int32_t BaudRate = 0;
    std::int32_t DataBits = 0;
    ParityCode Parity;
    std::int32_t StopBits = 0;
    std::int32_t FlowMode = 0;  // always 2 after loading: no handshake
};

inline constexpr std::int32_t kFlowModeNone = 2;

// The settings of one line. Throws AppError 13 for a column that is not a number (the parity column
// only when it is used), 6 for a number beyond 32 bits.
PortSettings portSettingsFromLine(std::string_view line);

// The first line of the settings file, or nullopt when there is no such file. An empty file gives an
// empty line. Opened before it is examined: anything but a regular file (a directory, a FIFO that
// would hold the open for ever, a device) throws AppError 75 without waiting on it, as does a file
// that cannot be read. Reads only as far as the line's first 15 characters.
std::optional<std::string> readPortSettingsLine(const std::filesystem::path& path);

// mbx.dat in the start-up directory: the directory's text, a separator and the name (a directory
// recorded as "C:" must give "C:\mbx.dat", not the drive-relative "C:mbx.dat").
std::string startupFile(const std::string& startupDirectory, std::string_view name);

inline constexpr std::string_view kSettingsMissingTitle = "Invalid Action";
inline constexpr std::string_view kSettingsMissingText =
    "Please set the parameter first for communication ...";

// Reloads the settings before a transfer. False when mbx.dat does not exist: the user has heard a
// beep and read "Please set the parameter first for communication ..." (title "Invalid Action",
// information icon), and `settings` is unchanged. True when `settings` has been filled, FlowMode 2
// included. Throws AppError as described at the top (13, 6, 75), leaving `settings` unchanged.
bool loadPortSettings(const std::string& startupDirectory, UserInteraction& ui, PortSettings& settings);

// Replaces mbx.dat with the line for `text` through the atomic replacement the INI save uses: a
// failed save leaves the old file as it was. nullopt on success.
std::optional<AppError> writePortSettingsFile(const std::filesystem::path& path,
                                              const PortSettingsText& text);

}  // namespace formwell::link
