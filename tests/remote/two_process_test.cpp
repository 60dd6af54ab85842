// Two processes on 127.0.0.1: rouser-host, loading the built module, sends
// to the plug-in linked into this test, which listens with a key.
#include "remote_fixture.h"

#include <stdlib.h>

#include <fstream>

#include "support/run_program.h"

namespace {

class TwoProcessTest : public RemoteTest {};

TEST_F(TwoProcessTest, AnotherHostTriggersAScript)
{
    HsOpenFile("Contacts", {"Nightly report"});
    Listen("demo-key");
    const std::string to = "-portnumber " + std::to_string(port);
    const std::string folder = FreshFolder("two-process-sender");
    std::ofstream(folder + "send.rhs", std::ios::binary)
        << "call Rous-SendRemoteEvent " << to << "|127.0.0.1|demo-key|Contacts|Nightly report|run-1|\n"
        << "call Rous-SendRemoteEvent " << to << " -silentEvent|127.0.0.1|demo-key|||note|line 1\\nline 2|x\n"
        << "call Rous-SendRemoteEvent " << to << "|127.0.0.1|Demo-Key|Contacts|Nightly report||\n";
#ifndef _WIN32
    // The sender's preferences, the separator among them, fresh as the
    // registry is for each case on Windows.
    const char *outer = getenv("ROUSER_PREFS_ROOT");
    const std::string kept = outer != nullptr ? outer : "";
    setenv("ROUSER_PREFS_ROOT", (folder + "prefs").c_str(), 1);
#endif
    ProgramRun run = RunProgram(kRouserHost, {"--script", folder + "send.rhs"}, folder);
#ifndef _WIN32
    if (outer != nullptr)
        setenv("ROUSER_PREFS_ROOT", kept.c_str(), 1);
    else
        unsetenv("ROUSER_PREFS_ROOT");
#endif
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "startup: 4\nresult: 0\nresult: 0\nresult: 0\n");
    for (int i = 0; i < 6; i++)
        IdleAfter(1000);
    std::vector<HsScriptStart> starts = HsTakeStarts();
    ASSERT_EQ(starts.size(), 1u) << "the wrong key starts nothing";
    EXPECT_EQ(starts[0].file, "Contacts");
    EXPECT_EQ(starts[0].script, "Nightly report");
    EXPECT_EQ(Call(kGetEventInfo, "-lastTriggered -getYourID"), "run-1");
    EXPECT_EQ(Call(kGetEventInfo, "-firstSilentEvent -getYourText"), "line 1\nline 2|x");
    EXPECT_EQ(Call(kGetEventInfo, "-getTriggerCount"), "2");
}

} // namespace
