#include "run_program.h"

#include <stdlib.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

static std::string ReadAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

ProgramRun RunProgram(const std::string &path, const std::vector<std::string> &args,
                      const std::string &folder)
{
    // Arguments here hold no single quotes.
    std::string line = "'" + path + "'";
    for (const std::string &arg : args)
        line += " '" + arg + "'";
    line += " </dev/null >'" + folder + "out.txt' 2>'" + folder + "err.txt'";
    int status = system(line.c_str());
    ProgramRun run;
    run.exitCode = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadAll(folder + "out.txt");
    run.err = ReadAll(folder + "err.txt");
    return run;
}
