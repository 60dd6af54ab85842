// The event file's seam on Windows.
#include <windows.h>

#include "os_files.h"

static int32_t QuLastError(BOOL ok)
{
    return ok ? 0 : (int32_t)GetLastError();
}

static int32_t QuCreate(const char *path, DWORD access, DWORD disposition, QuOsFile *file)
{
    HANDLE handle = CreateFileA(path, access, 0, NULL, disposition,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    *file = handle == INVALID_HANDLE_VALUE ? kOsNoFile : (QuOsFile)handle;
    return QuLastError(handle != INVALID_HANDLE_VALUE);
}

int32_t QuOsCreateNewFile(const char *path, QuOsFile *file)
{
    return QuCreate(path, GENERIC_READ, CREATE_NEW, file);
}

int32_t QuOsOpenFile(const char *path, bool forWriting, QuOsFile *file)
{
    return QuCreate(path, forWriting ? GENERIC_WRITE : GENERIC_READ, OPEN_EXISTING, file);
}

int32_t QuOsReadFile(QuOsFile file, void *buffer, uint32_t count, uint32_t *done)
{
    DWORD n = 0;
    BOOL ok = ReadFile((HANDLE)file, buffer, count, &n, NULL);
    *done = ok ? n : 0;
    return QuLastError(ok);
}

int32_t QuOsWriteFile(QuOsFile file, const void *buffer, uint32_t count, uint32_t *done)
{
    DWORD n = 0;
    BOOL ok = WriteFile((HANDLE)file, buffer, count, &n, NULL);
    *done = ok ? n : 0;
    return QuLastError(ok);
}

int32_t QuOsFlushFile(QuOsFile file)
{
    return QuLastError(FlushFileBuffers((HANDLE)file));
}

int32_t QuOsSetEndOfFile(QuOsFile file)
{
    return QuLastError(SetEndOfFile((HANDLE)file));
}

int32_t QuOsGetFileSize(QuOsFile file, uint32_t *size)
{
    // All bits set is also a size, so only the error number tells.
    SetLastError(NO_ERROR);
    DWORD n = GetFileSize((HANDLE)file, NULL);
    DWORD error = n == INVALID_FILE_SIZE ? GetLastError() : NO_ERROR;
    *size = error == NO_ERROR ? n : 0;
    return (int32_t)error;
}

int32_t QuOsCloseFile(QuOsFile file)
{
    return QuLastError(CloseHandle((HANDLE)file));
}

int32_t QuOsReplaceFile(const char *from, const char *to)
{
    return QuLastError(MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
}

int32_t QuOsDeleteFile(const char *path)
{
    return QuLastError(DeleteFileA(path));
}

int32_t QuOsMoveFile(const char *from, const char *to)
{
    return QuLastError(MoveFileA(from, to));
}
