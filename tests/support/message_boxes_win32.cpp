// Finds the plug-in's message boxes from a second thread, records caption
// and text, and dismisses them as a user would.
#include "message_boxes.h"

#include <windows.h>

static volatile LONG Watching;
static HANDLE Watcher;
static CRITICAL_SECTION Lock;
static std::vector<ShownBox> Boxes;

static std::string WindowText(HWND window)
{
    char buffer[4096];
    int n = GetWindowTextA(window, buffer, sizeof buffer);
    return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

static DWORD WINAPI Watch(void *)
{
    HWND last = nullptr;
    int polls = 0;
    while (InterlockedCompareExchange(&Watching, 0, 0) != 0) {
        HWND box = FindWindowA("#32770", nullptr);
        if (box != nullptr && box != last) {
            HWND item = GetDlgItem(box, 0xFFFF);
            ShownBox shown{WindowText(box), item != nullptr ? WindowText(item) : std::string()};
            // A box just created may not have its text yet; give it a moment.
            if (shown.text.empty() && ++polls < 10) {
                Sleep(20);
                continue;
            }
            polls = 0;
            EnterCriticalSection(&Lock);
            Boxes.push_back(shown);
            LeaveCriticalSection(&Lock);
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            last = box;
        } else if (box == nullptr) {
            last = nullptr;
        }
        Sleep(20);
    }
    return 0;
}

void BoxesStartWatching(void)
{
    static bool initialised;
    if (!initialised) {
        InitializeCriticalSection(&Lock);
        initialised = true;
    }
    Boxes.clear();
    InterlockedExchange(&Watching, 1);
    Watcher = CreateThread(nullptr, 0, Watch, nullptr, 0, nullptr);
}

std::vector<ShownBox> BoxesStopWatching(void)
{
    InterlockedExchange(&Watching, 0);
    WaitForSingleObject(Watcher, INFINITE);
    CloseHandle(Watcher);
    EnterCriticalSection(&Lock);
    std::vector<ShownBox> taken;
    taken.swap(Boxes);
    LeaveCriticalSection(&Lock);
    return taken;
}
