// Operating-system seam of the event file: one call each, errors as Windows
// system error numbers (0 for success) on every platform.
#ifndef ROUSER_OS_FILES_H
#define ROUSER_OS_FILES_H

#include <stdint.h>

// An open file; kOsNoFile when none.
typedef intptr_t QuOsFile;
const QuOsFile kOsNoFile = -1;

// A new empty file, read access only; fails when the name exists.
int32_t QuOsCreateNewFile(const char *path, QuOsFile *file);
// An existing file, for writing or for reading; opened without sharing.
int32_t QuOsOpenFile(const char *path, bool forWriting, QuOsFile *file);
// One read or write at the current position; *done is what it moved.
int32_t QuOsReadFile(QuOsFile file, void *buffer, uint32_t count, uint32_t *done);
int32_t QuOsWriteFile(QuOsFile file, const void *buffer, uint32_t count, uint32_t *done);
// Sends what was written to the disk.
int32_t QuOsFlushFile(QuOsFile file);
// Cuts the file at the current position.
int32_t QuOsSetEndOfFile(QuOsFile file);
// The low 32 bits of the file's size.
int32_t QuOsGetFileSize(QuOsFile file, uint32_t *size);
int32_t QuOsCloseFile(QuOsFile file);
// Puts `from` in the place of `to` in one step, replacing it when it
// exists, and returns only once the change is on the disk.
int32_t QuOsReplaceFile(const char *from, const char *to);
int32_t QuOsDeleteFile(const char *path);
// Gives `from` the name `to`, failing (kWinFileExists or kWinAlreadyExists)
// when `to` exists.
int32_t QuOsMoveFile(const char *from, const char *to);

#endif
