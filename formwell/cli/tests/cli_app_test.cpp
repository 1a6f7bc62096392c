#include "cli_app.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "formwell/common/app_error.h"
#include "formwell/testing/temp_dir.h"

namespace formwell::cli {
namespace {

// A command that records what it was given and returns a chosen status, or throws.
struct Probe {
    int status = kExitSuccess;
    bool throwError = false;
    int runs = 0;
    GlobalOptions global;
    CommandLine line;
};

std::vector<Subcommand> tableWith(Probe& probe) {
    Subcommand send{"send-ini",
                    "send-ini FILE",
                    "Send an INI file.",
                    "Sends it.\n",
                    {{"--port", "N", "a port"}, {"--quiet", "", "say less"}},
                    1,
                    1,
                    nullptr};
    send.run = [&probe](CommandContext& c) {
        ++probe.runs;
        probe.global = c.global;
        probe.line = c.line;
        if (probe.throwError) {
            throw makeError(errnum::kFileNotFound);
        }
        return probe.status;
    };
    Subcommand list{"ports", "ports", "List ports.", "", {}, 0, 0, [](CommandContext&) { return 0; }};
    return {send, list};
}

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

CliRun runWith(const std::vector<std::string>& args, const std::vector<Subcommand>& table,
               const std::string& cwd) {
    std::istringstream in;
    std::ostringstream out, err;
    CliEnvironment env{in, out, err, false, false, cwd, {}};
    CliRun r;
    r.status = runCli(args, table, env);
    r.out = out.str();
    r.err = err.str();
    return r;
}

TEST(CommandLine, GlobalOptionsAnywhereCommandOptionsAfterTheName) {
    Probe probe;
    const auto table = tableWith(probe);
    const ParsedCommandLine p = parseCommandLine(
        {"--yes", "send-ini", "--port=2", "a.ini", "--dir", "/d", "--trace", "--port", "3", "--quiet"}, table,
        "/cwd");
    ASSERT_TRUE(p.error.empty()) << p.error;
    EXPECT_EQ(p.command, &table[0]);
    EXPECT_TRUE(p.global.assumeYes);
    EXPECT_TRUE(p.global.trace);
    EXPECT_EQ(p.global.startupDirectory, "/d");
    EXPECT_EQ(p.line.arguments, std::vector<std::string>{"a.ini"});
    EXPECT_EQ(p.line.values("--port"), (std::vector<std::string>{"2", "3"}));
    EXPECT_EQ(p.line.value("--port"), "3");
    EXPECT_TRUE(p.line.has("--quiet"));

    const ParsedCommandLine dashes = parseCommandLine({"send-ini", "--", "--odd.ini"}, table, "/cwd");
    EXPECT_TRUE(dashes.error.empty());
    EXPECT_EQ(dashes.global.startupDirectory, "/cwd");
    EXPECT_EQ(dashes.line.arguments, std::vector<std::string>{"--odd.ini"});
}

TEST(CommandLine, MistakesAreNamed) {
    Probe probe;
    const auto table = tableWith(probe);
    struct Case {
        std::vector<std::string> args;
        std::string error;
    };
    const Case cases[] = {
        {{}, "no command given"},
        {{"fly"}, "unknown command 'fly'"},
        {{"--port", "2", "send-ini", "a"}, "unknown option '--port'"},
        {{"ports", "--quiet"}, "unknown option '--quiet' for ports"},
        {{"send-ini"}, "send-ini takes 1 argument: send-ini FILE"},
        {{"send-ini", "a", "b"}, "send-ini takes 1 argument: send-ini FILE"},
        {{"send-ini", "a", "--dir"}, "--dir needs a value"},
        {{"send-ini", "a", "--yes=no"}, "--yes takes no value"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseCommandLine(c.args, table, "/").error, c.error);
    }
}

TEST(RunCli, HelpUsageAndStatuses) {
    formwell::testing::TempDir dir;
    Probe probe;
    const auto table = tableWith(probe);
    const std::string cwd = dir.path().string();

    const CliRun help = runWith({"--help"}, table, cwd);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("send-ini FILE"), std::string::npos);
    EXPECT_NE(help.out.find("2  usage error"), std::string::npos);
    const CliRun forCommand = runWith({"send-ini", "--help"}, table, cwd);
    EXPECT_EQ(forCommand.status, 0);
    EXPECT_NE(forCommand.out.find("--port N"), std::string::npos);
    EXPECT_NE(forCommand.out.find("Sends it."), std::string::npos);
    EXPECT_EQ(probe.runs, 0);

    const CliRun usage = runWith({"send-ini"}, table, cwd);
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(
        usage.err,
        "formwell-cli: send-ini takes 1 argument: send-ini FILE\nTry 'formwell-cli send-ini --help'.\n");
    EXPECT_EQ(runWith({"send-ini", "a", "--dir", (dir / "none").string()}, table, cwd).status, 2);
    EXPECT_EQ(probe.runs, 0);

    probe.status = kExitFailed;
    EXPECT_EQ(runWith({"send-ini", "a"}, table, cwd).status, 1);
    EXPECT_EQ(probe.global.startupDirectory, cwd);
    probe.throwError = true;
    const CliRun thrown = runWith({"send-ini", "a"}, table, cwd);
    EXPECT_EQ(thrown.status, 1);
    EXPECT_EQ(thrown.err, "Formwell: 53 File not found\n");
}

}  // namespace
}  // namespace formwell::cli
