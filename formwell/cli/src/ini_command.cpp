// ini export / ini import: a field document as rows of cell texts (JSON or CSV) and back, byte for
// byte as the window's Open ini shows it and its Save writes it.
#include <filesystem>
#include <variant>

#include "command_support.h"
#include "formwell/document/grid_acceptance.h"
#include "formwell/document/grid_rules.h"
#include "formwell/document/ini_file.h"
#include "formwell/document/row_text_codec.h"

namespace formwell::cli {

namespace {

constexpr std::string_view kName = "ini";
// A document's rows as JSON take about 80 bytes a field; 32767 fields stay far below this.
constexpr std::size_t kRowsFileLimit = 64 * 1024 * 1024;
constexpr int kLoopbackColumn = static_cast<int>(FieldColumn::Loopback);

enum class RowsFormat { Json, Csv };

int exportDocument(CommandContext& c, const std::string& path, RowsFormat format) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        c.ui.beep();
        c.ui.show(information("File Not Found", "The file cannot be found ..."));
        return kExitFailed;
    }
    const IniReadResult read = readIniFile(path);
    if (read.error) {
        // The window would show the rows read so far; a script is better served by nothing.
        c.ui.show(plainNotice(read.error->text()));
        return kExitFailed;
    }
    c.out << (format == RowsFormat::Json ? formatRowsJson(read.rows) : formatRowsCsv(read.rows))
          << std::flush;
    return c.out ? kExitSuccess : kExitFailed;
}

std::string describeOverlong(const OverlongCell& cell, const std::vector<FieldDefinition>& rows, bool cut) {
    std::string reason = "is " + std::to_string(cell.length) + " characters long, but its column holds " +
                         std::to_string(cell.width);
    reason += cut ? "; written cut to " + std::to_string(cell.width) + " (--force)"
                  : "; written whole, it would shift the rest of the record";
    return describeCellWarning(CellWarning{cell.row, cell.column, std::move(reason)}, rows);
}

// Over-long cells refuse the import unless forced; forced, they are cut to their columns, which loses
// their tails but keeps every record readable by position.
bool fitToColumns(CommandContext& c, const std::string& rowsPath, std::vector<FieldDefinition>& rows,
                  bool force) {
    const std::vector<OverlongCell> overlong = overlongCells(rows);
    for (const OverlongCell& cell : overlong) {
        note(c, (force ? "warning: " : "") + rowsPath + ": " + describeOverlong(cell, rows, force));
    }
    if (overlong.empty() || force) {
        cutToColumns(rows);
        return true;
    }
    note(c, rowsPath + ": " + std::to_string(overlong.size()) +
                " cell(s) longer than their columns; nothing was written (--force writes them cut)");
    return false;
}

int importDocument(CommandContext& c, const std::string& rowsPath, const std::string& iniPath,
                   RowsFormat format, bool force) {
    std::variant<std::string, AppError> text = readWholeFile(rowsPath, kRowsFileLimit);
    if (const AppError* error = std::get_if<AppError>(&text)) {
        c.ui.show(plainNotice(error->text()));
        return kExitFailed;
    }
    const std::string& bytes = std::get<std::string>(text);
    RowsReadResult read = format == RowsFormat::Json ? parseRowsJson(bytes) : parseRowsCsv(bytes);
    if (read.error) {
        note(c, rowsPath + ": " + describeReadError(*read.error) + "; nothing was written");
        return kExitRefused;
    }
    for (const ReplacedCell& cell : read.replaced) {
        note(c, "warning: " + rowsPath + ": " +
                    describeCellWarning(CellWarning{cell.row, cell.column,
                                                    "held characters beyond the single-byte set of the "
                                                    "INI file; each became '?', as in the grid"},
                                        read.rows));
    }
    if (!fitToColumns(c, rowsPath, read.rows, force)) {
        return kExitRefused;
    }
    for (const CellWarning& warning : cellsTheGridWouldRefuse(read.rows)) {
        note(c, "warning: " + rowsPath + ": " + describeCellWarning(warning, read.rows));
    }
    const FieldRows rows(read.rows);
    // What the window's Save refuses, with its message.
    if (countMatches(rows, kLoopbackColumn, "Y") > 1) {
        c.ui.beep();
        c.ui.show(information("Operation Failed", "Only one field can be selected as Loop-back field ..."));
        return kExitRefused;
    }
    if (const std::optional<AppError> error = writeIniFile(iniPath, rows)) {
        c.ui.show(plainNotice(error->text()));
        return kExitFailed;
    }
    return kExitSuccess;
}

int runIni(CommandContext& c) {
    const std::vector<std::string>& args = c.line.arguments;
    if (c.line.has("--json") && c.line.has("--csv")) {
        return usageError(c, kName, "--json and --csv exclude each other");
    }
    const std::string& action = args[0];
    if (action == "export") {
        if (args.size() != 2) {
            return usageError(c, kName, "ini export takes one INI file");
        }
        return exportDocument(c, args[1], c.line.has("--csv") ? RowsFormat::Csv : RowsFormat::Json);
    }
    if (action == "import") {
        if (args.size() != 3) {
            return usageError(c, kName, "ini import takes the rows file and the INI file to write");
        }
        RowsFormat format = RowsFormat::Json;
        if (c.line.has("--csv") || (!c.line.has("--json") && hasExtension(args[1], ".csv"))) {
            format = RowsFormat::Csv;
        } else if (!c.line.has("--json") && !hasExtension(args[1], ".json")) {
            return usageError(
                c, kName,
                "cannot tell the format of " + args[1] + ": name it .json or .csv, or give --json or --csv");
        }
        return importDocument(c, args[1], args[2], format, c.line.has("--force"));
    }
    return usageError(c, kName, "unknown ini action '" + action + "' (export or import)");
}

}  // namespace

Subcommand iniCommand() {
    return Subcommand{
        kName,
        "ini export FILE [--json|--csv] | ini import ROWS OUT.ini [--force]",
        "Write a field document as rows (JSON or CSV), or an INI file from rows.",
        "export: prints the document's rows on standard output, exactly as the grid shows them after\n"
        "Open ini (trailing blanks of names and lengths included). JSON (the default) is an array of\n"
        "rows, each an array of the seven cell texts in the grid's column order:\n"
        "  Field Name, Type, Min Length, Max Length, Required ?, Loopback ?, Barcodes\n"
        "CSV has a header line with those captions, then one line per row.\n"
        "\n"
        "import: writes OUT.ini exactly as the window's Save writes those cells. The format follows\n"
        "the rows file's name (.json or .csv) unless --json or --csv says otherwise. Refused, as Save\n"
        "refuses it, when more than one row is the loop-back field. Refused too (status 3, nothing\n"
        "written) when a cell is longer than its column of the record (Field Name 14, Type 6, Min and\n"
        "Max Length 2, Required and Loopback 1, Barcodes 16): written whole, it would shift the rest of\n"
        "the record. --force writes such cells cut to their column's width, each cut named in a\n"
        "warning, so every record keeps its layout. Every other cell the grid would not have taken\n"
        "from a person typing is named in a warning on standard error, and written as it is.\n"
        "\n"
        "Files are UTF-8; cells hold single-byte text, so a character beyond U+00FF becomes '?'.\n"
        "\n"
        "Examples:\n"
        "  formwell-cli ini export fields.ini > fields.json\n"
        "  formwell-cli ini export fields.ini --csv > fields.csv\n"
        "  formwell-cli ini import fields.csv fields.ini\n",
        {{"--json", "", "rows as JSON (export's default)"},
         {"--csv", "", "rows as CSV"},
         {"--force", "", "import: write over-long cells cut to their columns"}},
        2,
        3,
        runIni};
}

}  // namespace formwell::cli
