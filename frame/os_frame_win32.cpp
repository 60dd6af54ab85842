// The frame's seam on Windows: registry, tick counter, clock, module path,
// string resources and message boxes.
#include <windows.h>
#include <time.h>

#include "os_frame.h"

static const char kPrefsSubkey[] = "Software\\Quil\\Quil Plug-in General Prefs";

int32_t QuOsOpenPrefsKey(const char *, QuOsPrefsKey *key)
{
    HKEY handle = NULL;
    LONG error = RegCreateKeyExA(HKEY_CURRENT_USER, kPrefsSubkey, 0, NULL, REG_OPTION_NON_VOLATILE,
                                 KEY_READ | KEY_WRITE, NULL, &handle, NULL);
    // A key the user may only read still yields its separator; writes then
    // fail and are reported.
    if (error == ERROR_ACCESS_DENIED)
        error = RegOpenKeyExA(HKEY_CURRENT_USER, kPrefsSubkey, 0, KEY_READ, &handle);
    *key = error == ERROR_SUCCESS ? (QuOsPrefsKey)handle : NULL;
    return (int32_t)error;
}

void QuOsClosePrefsKey(QuOsPrefsKey key)
{
    RegCloseKey((HKEY)key);
}

int32_t QuOsQueryPrefValue(QuOsPrefsKey key, const char *name, void *data, uint32_t *size)
{
    DWORD length = *size;
    LONG error = RegQueryValueExA((HKEY)key, name, NULL, NULL, (BYTE *)data, &length);
    *size = length;
    return (int32_t)error;
}

int32_t QuOsSetPrefValue(QuOsPrefsKey key, const char *name, uint32_t type, const void *data, uint32_t size)
{
    return (int32_t)RegSetValueExA((HKEY)key, name, 0, type, (const BYTE *)data, size);
}

static uint64_t QuFileTimeValue(FILETIME time)
{
    return (uint64_t)time.dwHighDateTime << 32 | time.dwLowDateTime;
}

int32_t QuOsReadPrefsStamp(const char *, QuOsPrefsStamp *stamp)
{
    FILETIME now, written;
    HKEY key;
    GetSystemTimeAsFileTime(&now);
    LONG error = RegOpenKeyExA(HKEY_CURRENT_USER, kPrefsSubkey, 0, KEY_QUERY_VALUE, &key);
    if (error != ERROR_SUCCESS)
        return (int32_t)error;
    error = RegQueryInfoKeyA(key, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, &written);
    RegCloseKey(key);
    if (error != ERROR_SUCCESS)
        return (int32_t)error;
    // Every change of a value sets the key's last write time.
    stamp->marks[0] = QuFileTimeValue(written);
    for (int i = 1; i < kPrefsStampMarks; i++)
        stamp->marks[i] = 0;
    stamp->age = ((int64_t)QuFileTimeValue(now) - (int64_t)QuFileTimeValue(written)) / 10;
    stamp->grain = 20000; // the system clock's step, 15.6 ms at most
    return 0;
}

uint32_t QuOsMilliseconds(void)
{
    return GetTickCount();
}

int32_t QuOsProgramPath(char *buffer, int32_t capacity)
{
    return (int32_t)GetModuleFileNameA(NULL, buffer, capacity > 0 ? (DWORD)capacity : 0);
}

void QuOsLoadString(void *instance, int32_t id, char *buffer, int32_t capacity)
{
    if (capacity <= 0)
        return;
    if (LoadStringA((HINSTANCE)instance, (UINT)id, buffer, capacity) <= 0)
        buffer[0] = 0;
}

void QuOsBeep(void)
{
    MessageBeep(MB_OK);
}

void QuOsMessageBox(const char *caption, const char *text)
{
    MessageBoxA(NULL, text, caption, MB_OK | MB_TASKMODAL);
}

void QuOsLogError(const char *source, const char *text)
{
    // The Application log; without a registered message file the viewer
    // shows the text as the event's only string.
    HANDLE log = RegisterEventSourceA(NULL, source);
    if (log == NULL)
        return;
    LPCSTR strings[1] = {text};
    ReportEventA(log, EVENTLOG_ERROR_TYPE, 0, 1, NULL, 1, 0, strings, NULL);
    DeregisterEventSource(log);
}
