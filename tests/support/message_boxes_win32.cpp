// Finds the plug-in's message boxes from a second thread, records caption
// and text, and dismisses them as a user would.
#include "message_boxes.h"

#include <windows.h>

static volatile LONG Recording;
static CRITICAL_SECTION Lock;
static std::vector<ShownBox> Boxes;

static std::string WindowText(HWND window)
{
    char buffer[4096];
    int n = GetWindowTextA(window, buffer, sizeof buffer);
    return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

// Runs for the rest of the program: a box that nobody records is still
// dismissed, or the test that made it would wait for a click for ever.
static DWORD WINAPI Watch(void *)
{
    HWND last = nullptr;
    int polls = 0;
    for (;;) {
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
            if (InterlockedCompareExchange(&Recording, 0, 0) != 0) {
                EnterCriticalSection(&Lock);
                Boxes.push_back(shown);
                LeaveCriticalSection(&Lock);
            }
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            last = box;
        } else if (box == nullptr) {
            last = nullptr;
        }
        // Often enough that a case whose faults show many boxes is not slowed.
        Sleep(5);
    }
    return 0;
}

void BoxesDismissAll(void)
{
    static bool started;
    if (started)
        return;
    InitializeCriticalSection(&Lock);
    CloseHandle(CreateThread(nullptr, 0, Watch, nullptr, 0, nullptr));
    started = true;
}

// A box is modal: by the time the call that showed it returns, the watcher
// has seen it, so switching the recording suffices.
void BoxesStartWatching(void)
{
    BoxesDismissAll();
    EnterCriticalSection(&Lock);
    Boxes.clear();
    LeaveCriticalSection(&Lock);
    InterlockedExchange(&Recording, 1);
}

std::vector<ShownBox> BoxesStopWatching(void)
{
    InterlockedExchange(&Recording, 0);
    EnterCriticalSection(&Lock);
    std::vector<ShownBox> taken;
    taken.swap(Boxes);
    LeaveCriticalSection(&Lock);
    return taken;
}
