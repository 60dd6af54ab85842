// The desktop's top-level windows that the host keeps: real windows on
// Windows; on POSIX, which has none, a list of class names handed to the
// module through the environment.
#include "hostsim.h"

#ifdef _WIN32
#include <windows.h>

#include <algorithm>

namespace {

std::vector<HWND> Windows;
std::vector<std::string> RegisteredClasses;

} // namespace

bool HsCreateWindows(const std::vector<std::string> &topToBottom, std::string *error)
{
    HsDestroyWindows();
    HINSTANCE instance = GetModuleHandleA(nullptr);
    // Bottom first, each then put on top of all the others: the first
    // given ends highest, above any window that was there before.
    for (auto name = topToBottom.rbegin(); name != topToBottom.rend(); ++name) {
        if (std::find(RegisteredClasses.begin(), RegisteredClasses.end(), *name) == RegisteredClasses.end()) {
            WNDCLASSA windowClass = {};
            windowClass.lpfnWndProc = DefWindowProcA;
            windowClass.hInstance = instance;
            windowClass.lpszClassName = name->c_str();
            if (RegisterClassA(&windowClass) == 0) {
                *error =
                    "cannot register window class " + *name + ": error " + std::to_string(GetLastError());
                HsDestroyWindows();
                return false;
            }
            RegisteredClasses.push_back(*name);
        }
        HWND window = CreateWindowA(name->c_str(), "", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                    instance, nullptr);
        if (window == nullptr) {
            *error = "cannot create a window of class " + *name + ": error " + std::to_string(GetLastError());
            HsDestroyWindows();
            return false;
        }
        Windows.push_back(window);
        SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    return true;
}

void HsDestroyWindows(void)
{
    for (HWND window : Windows)
        DestroyWindow(window);
    Windows.clear();
    for (const std::string &name : RegisteredClasses)
        UnregisterClassA(name.c_str(), GetModuleHandleA(nullptr));
    RegisteredClasses.clear();
}
#else
#include <stdlib.h>

#include "frame/host_overrides.h"

bool HsCreateWindows(const std::vector<std::string> &topToBottom, std::string *error)
{
    std::string names;
    for (const std::string &name : topToBottom) {
        if (name.empty() || name.find('\n') != std::string::npos) {
            *error = "a window class needs a name without line breaks";
            return false;
        }
        names += (names.empty() ? "" : "\n") + name;
    }
    setenv(ROUSER_WINDOW_CLASSES_VARIABLE, names.c_str(), 1);
    return true;
}

void HsDestroyWindows(void)
{
    unsetenv(ROUSER_WINDOW_CLASSES_VARIABLE);
}
#endif
