#include <gtest/gtest.h>

#include "cli_run.h"
#include "formwell/document/ini_file.h"
#include "formwell/testing/temp_dir.h"

namespace formwell::cli {
namespace {

using formwell::testing::readBytes;
using formwell::testing::writeBytes;

// The editor's documents: the demo's, and one with the lines Open ini repairs (short records, an empty
// line, a blank mask, a lone CR ending, trailing text past column 42, bytes above 0x7F).
const std::string kDocuments[] = {
    "ITEM          Text  14YN1 0111111111111111\r\n"
    "QTY           Number5 YN1 0111111111111111\r\n"
    "EXPIRY        Date  8 NN8 0000000000000000\r\n"
    "LOCATION      Text  10YY2 0111111111111111\r\n",
    "SHORT         Text  5 YN\r\n"
    "\r\n"
    "MASKLESS      Date  8 NN8                 \r"
    "CAF\xC9 \"quoted\", Numb  12yn1 0100000000000001 and more\n"
    "NOEND",
};

TEST(IniCommand, ExportThenImportWritesWhatOpenThenSaveWrites) {
    formwell::testing::TempDir dir;
    for (const std::string& document : kDocuments) {
        writeBytes(dir / "doc.ini", document);
        ASSERT_FALSE(writeIniFile(dir / "saved.ini", readIniFile(dir / "doc.ini").rows));
        const std::string saved = readBytes(dir / "saved.ini");
        for (const char* format : {"--json", "--csv"}) {
            const CliRun exported =
                runFormwellCli({"ini", "export", (dir / "doc.ini").string(), format}, "/");
            ASSERT_EQ(exported.status, 0) << exported.err;
            const std::string rows = (dir / (std::string("rows.") + (format + 2))).string();
            writeBytes(rows, exported.out);
            const CliRun imported = runFormwellCli({"ini", "import", rows, (dir / "back.ini").string()}, "/");
            EXPECT_EQ(imported.status, 0) << imported.err;
            EXPECT_EQ(readBytes(dir / "back.ini"), saved) << format;
        }
    }
}

TEST(IniCommand, ImportRefusesWhatSaveRefusesAndWarnsAboutTheRest) {
    formwell::testing::TempDir dir;
    const std::string out = (dir / "out.ini").string();
    writeBytes(dir / "two-loopbacks.json",
               R"([["A","Text","1","2","Y","Y",""],["B","Text","1","2","N","y",""]])");
    const CliRun refused = runFormwellCli({"ini", "import", (dir / "two-loopbacks.json").string(), out}, "/");
    EXPECT_EQ(refused.status, kExitRefused);
    EXPECT_EQ(refused.err, "Operation Failed: Only one field can be selected as Loop-back field ...\n");
    EXPECT_FALSE(std::filesystem::exists(out));

    writeBytes(dir / "odd.txt", "[[\"A\",\"Text\",\"15\",\"2\",\"Y\",\"N\",\"\"]]");
    const CliRun warned = runFormwellCli({"ini", "import", "--json", (dir / "odd.txt").string(), out}, "/");
    EXPECT_EQ(warned.status, 0);
    EXPECT_NE(warned.err.find("warning: " + (dir / "odd.txt").string() +
                              ": row 1, Min Length \"15\": The length cannot be more than 14"),
              std::string::npos)
        << warned.err;
    EXPECT_EQ(readBytes(out), "A             Text  2 YN150111111111111111\r\n");

    writeBytes(dir / "long.json",
               R"([["A","Text","1","2","Y","N",""],["LONGER THAN FOURTEEN","Text","1","123","Y","N",""]])");
    const CliRun overlong = runFormwellCli({"ini", "import", (dir / "long.json").string(), out}, "/");
    EXPECT_EQ(overlong.status, kExitRefused);
    EXPECT_NE(overlong.err.find("row 2, Field Name \"LONGER THAN FOURTEEN\": is 20 characters long, but its "
                                "column holds 14"),
              std::string::npos)
        << overlong.err;
    EXPECT_NE(overlong.err.find("row 2, Max Length \"123\": is 3 characters long"), std::string::npos);
    EXPECT_EQ(readBytes(out), "A             Text  2 YN150111111111111111\r\n");  // untouched
    const CliRun forced =
        runFormwellCli({"ini", "import", "--force", (dir / "long.json").string(), out}, "/");
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_EQ(readBytes(out),
              "A             Text  2 YN1 0111111111111111\r\n"
              "LONGER THAN FOText  12YN1 0111111111111111\r\n");

    writeBytes(dir / "broken.csv", "Field Name,Type\r\n");
    const CliRun broken = runFormwellCli({"ini", "import", (dir / "broken.csv").string(), out}, "/");
    EXPECT_EQ(broken.status, kExitRefused);
    EXPECT_NE(broken.err.find("broken.csv: line 1, character 1: the first line must be"), std::string::npos);

    EXPECT_EQ(runFormwellCli({"ini", "import", (dir / "rows.txt").string(), out}, "/").status, kExitUsage);
    const CliRun missing = runFormwellCli({"ini", "export", (dir / "none.ini").string()}, "/");
    EXPECT_EQ(missing.status, kExitFailed);
    EXPECT_EQ(missing.err, "File Not Found: The file cannot be found ...\n");
}

}  // namespace
}  // namespace formwell::cli
