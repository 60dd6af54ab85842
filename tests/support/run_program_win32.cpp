#include "run_program.h"

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>

// The program writes in text mode; lines come back ending in "\n" alone.
static std::string ReadAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

static HANDLE OpenInherited(const std::string &path, bool write)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileA(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &inherit, write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

ProgramRun RunProgram(const std::string &path, const std::vector<std::string> &args,
                      const std::string &folder)
{
    ProgramRun run;
    // Arguments here hold no quotes; quoting keeps spaces inside one.
    std::string line = "\"" + path + "\"";
    for (const std::string &arg : args)
        line += " \"" + arg + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = OpenInherited("NUL", false);
    startup.hStdOutput = OpenInherited(folder + "out.txt", true);
    startup.hStdError = OpenInherited(folder + "err.txt", true);
    PROCESS_INFORMATION process = {};
    if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        if (GetExitCodeProcess(process.hProcess, &code))
            run.exitCode = static_cast<int>(code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError})
        CloseHandle(handle);
    run.out = ReadAll(folder + "out.txt");
    run.err = ReadAll(folder + "err.txt");
    return run;
}
