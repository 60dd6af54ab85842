// Runs another program of the build (rouser-host) and collects what it said.
#ifndef ROUSER_TEST_RUN_PROGRAM_H
#define ROUSER_TEST_RUN_PROGRAM_H

#include <string>
#include <vector>

struct ProgramRun {
    int exitCode = -1; // -1 when it could not be run
    std::string out;
    std::string err;
};

// rouser-host as built beside the tests.
#ifdef _WIN32
const std::string kRouserHost = std::string(ROUSER_BUILD_DIR) + "/rouser-host.exe";
#else
const std::string kRouserHost = std::string(ROUSER_BUILD_DIR) + "/rouser-host";
#endif

// Standard input is empty; `folder` receives the captured output files.
ProgramRun RunProgram(const std::string &path, const std::vector<std::string> &args,
                      const std::string &folder);

#endif
