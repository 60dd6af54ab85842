// Every case starts from a fresh start-up of the linked plug-in on the
// simulated host, with a fresh preferences store, an empty host folder and a
// simulated clock, and ends with a shutdown that must leave nothing locked
// and nothing leaked.
#ifndef ROUSER_TEST_FIXTURE_H
#define ROUSER_TEST_FIXTURE_H

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "hostsim/hostsim.h"
#include "hostsim/overrides_helpers.h"
#include "plugin/plugin.h"

class PluginTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Start-up with this host version; 0 leaves the plug-in unstarted.
    virtual int16_t StartupVersion() const { return 50; }
    void ExpectHostRulesKept();
    // Removes every file of the host folder: event files of a case before.
    void EmptyHostFolder();
    // The host program's folder the plug-in sees: one of this case's own.
    std::string hostFolder;
};

// The linked plug-in's entry and its module instance.
void UsePluginEntry(void);
// A folder of its own for this case, created empty.
std::string FreshFolder(const std::string &name);
// Runs `body` inside a host call, with that call's record current.
void Inside(const std::function<void()> &body);

#endif
