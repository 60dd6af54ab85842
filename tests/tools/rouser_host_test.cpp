// rouser-host's open files: the --open argument and the open and close
// commands, run as the program itself. Files stay open across a restart.
#include <fstream>

#include <gtest/gtest.h>

#include "support/fixture.h"
#include "support/run_program.h"

namespace {

#ifdef _WIN32
const std::string kRouserHost = std::string(ROUSER_BUILD_DIR) + "/rouser-host.exe";
#else
const std::string kRouserHost = std::string(ROUSER_BUILD_DIR) + "/rouser-host";
#endif

TEST(RouserHost, FillsTheHostsOpenFiles)
{
    const struct {
        std::vector<std::string> args;
        std::string script;
        int exitCode;
        std::string complaint; // part of standard error; empty: none at all
    } cases[] = {
        {{"--open", "Orders.fp5=Print,Report", "--open", "Other.fp5=Go"},
         "open Late.fp5=Go\nclose other.FP5\nclose Late.fp5\nrestart\nclose Orders.fp5\n", 0, ""},
        {{"--open", "Orders.fp5"}, "", 2, "bad --open Orders.fp5"},
        {{"--open", "Orders.fp5=Print,"}, "", 2, "bad --open"},
        {{}, "open Orders.fp5\n", 1, "bad open"},
        {{}, "open Orders.fp5=Print\nclose Orders.fp5\nclose Orders.fp5\n", 1, "no such open file: Orders.fp5"},
        {{}, "close\n", 1, "unknown command"},
    };
    int n = 0;
    for (const auto &c : cases) {
        const std::string folder = FreshFolder("rouser-host-open-" + std::to_string(n++));
        std::ofstream(folder + "script.txt", std::ios::binary) << c.script;
        std::vector<std::string> args = c.args;
        args.push_back("--script");
        args.push_back(folder + "script.txt");
        ProgramRun run = RunProgram(kRouserHost, args, folder);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.script << run.err;
        if (c.complaint.empty()) {
            EXPECT_EQ(run.err, "");
            EXPECT_EQ(run.out, "startup: 4\nstartup: 4\n");
        } else {
            EXPECT_NE(run.err.find(c.complaint), std::string::npos) << run.err;
        }
    }
}

} // namespace
