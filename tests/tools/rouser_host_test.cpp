// rouser-host's open files: the --open argument and the open and close
// commands, run as the program itself. Files stay open across a restart.
#include <cstdio>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "support/fixture.h"
#include "support/prefs_store.h"
#include "support/run_program.h"

namespace {

// rouser-host with these arguments and a script of commands, in a folder of its own.
ProgramRun RunHost(const std::string &name, std::vector<std::string> args, const std::string &script)
{
    const std::string folder = FreshFolder(name);
    std::ofstream(folder + "script.txt", std::ios::binary) << script;
    args.push_back("--script");
    args.push_back(folder + "script.txt");
    return RunProgram(kRouserHost, args, folder);
}

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(RouserHost, FillsTheHostsOpenFiles)
{
    const struct {
        std::vector<std::string> args;
        std::string script;
        int exitCode;
        std::string complaint; // part of standard error; empty: none at all
    } cases[] = {
        {{"--open", "Orders.fp5=Print,Report", "--open", "Other.fp5=Go"},
         "open Late.fp5=Go\nclose other.FP5\nclose Late.fp5\nrestart\nclose Orders.fp5\n",
         0,
         ""},
        {{"--open", "Orders.fp5"}, "", 2, "bad --open Orders.fp5"},
        {{"--open", "Orders.fp5=Print,"}, "", 2, "bad --open"},
        {{}, "open Orders.fp5\n", 1, "bad open"},
        {{},
         "open Orders.fp5=Print\nclose Orders.fp5\nclose Orders.fp5\n",
         1,
         "no such open file: Orders.fp5"},
        {{}, "close\n", 1, "unknown command"},
    };
    int n = 0;
    for (const auto &c : cases) {
        ProgramRun run = RunHost("rouser-host-open-" + std::to_string(n++), c.args, c.script);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.script << run.err;
        if (c.complaint.empty()) {
            EXPECT_EQ(run.err, "");
            EXPECT_EQ(run.out, "startup: 4\nstartup: 4\n");
        } else {
            EXPECT_NE(run.err.find(c.complaint), std::string::npos) << run.err;
        }
    }
}

// Events live in the folder of the host program: here rouser-host's own,
// under the name its host version and main window choose.
TEST(RouserHost, KeepsEventsBesideItselfAcrossRestarts)
{
    const std::string eventFile = std::string(ROUSER_BUILD_DIR) + "/RousEvn5.Qul";
    const std::vector<std::string> host14 = {"--host-version", "14",     "--window-class",
                                             "FMPRO5APP",      "--open", "Orders.fp5=Print"};
    std::remove(eventFile.c_str());
    // Under Wine rouser-host reads the registry the other cases write: a
    // separator token left behind by one of them would split these calls.
    PrefsStoreUseFresh("rouser-host-events");
    const struct {
        std::vector<std::string> args;
        std::string script, out;
    } runs[] = {
        {host14,
         "call Rous-ScheduleEvent -addSingleEvent|744000|0|Orders.fp5|Print|id|the text\n"
         "restart\ncall Rous-GetEventInfo -getTriggerCount\n",
         "startup: 4\nresult: 4242\nstartup: 4\nresult: 1\n"},
        // Another window kind reads another file.
        {{"--host-version", "14"}, "call Rous-GetEventInfo -getTriggerCount\n", "startup: 4\nresult: 0\n"},
        {host14,
         "call Rous-GetEventInfo -byEventID -getYourText|4242\n"
         "call Rous-ScheduleEvent -addSingleEvent|744000|60|Orders.fp5|Print\n",
         "startup: 4\nresult: the text\nresult: 4243\n"},
    };
    int n = 0;
    for (const auto &r : runs) {
        ProgramRun run = RunHost("rouser-host-events-" + std::to_string(n++), r.args, r.script);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, r.out) << r.script;
        if (n == 1) {
            std::string bytes = ReadFile(eventFile);
            EXPECT_EQ(bytes.substr(0, 11), "#Quil v1.0\n");
            EXPECT_NE(bytes.find("Orders.fp5|Print|id|the text"), std::string::npos);
        }
    }
    std::remove(eventFile.c_str());
    std::remove((std::string(ROUSER_BUILD_DIR) + "/RousEvR5.Qul").c_str());
}

} // namespace
