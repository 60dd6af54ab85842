// The event file: its name and folder, the file calls beneath it, and the
// conversion between the event table and the file's image in a host handle.
#ifndef ROUSER_EVENT_FILE_H
#define ROUSER_EVENT_FILE_H

#include "frame/errors.h"
#include "frame/host_call.h"
#include "os_files.h"

enum {
    kEventFileHeaderSize = 11,
    // An entry: the marker '*', due time, state, ID, flags, reserved
    // field, the text's length, the text, four zero bytes and a line feed.
    kEntryMarker = 0,
    kEntryDue = 1,
    kEntryState = 5,
    kEntryID = 9,
    kEntryFlags = 13,
    kEntryReserved = 17,
    kEntryTextLength = 21,
    kEntryText = 25,
    kEntryOverhead = 30,
    kMaxEntryText = 64000,
    kFileRead = 1,
    kFileWrite = 3
};

typedef QuOsFile QuFile;

// The system calls beneath the file layer, as one table: a test puts its
// own in place to count or fail them, as a database's OS layer is replaced,
// and the module carries no fault injection of its own.
struct QuFileCalls {
    int32_t (*createNewFile)(const char *path, QuOsFile *file);
    int32_t (*openFile)(const char *path, bool forWriting, QuOsFile *file);
    int32_t (*readFile)(QuOsFile file, void *buffer, uint32_t count, uint32_t *done);
    int32_t (*writeFile)(QuOsFile file, const void *buffer, uint32_t count, uint32_t *done);
    int32_t (*flushFile)(QuOsFile file);
    int32_t (*setEndOfFile)(QuOsFile file);
    int32_t (*getFileSize)(QuOsFile file, uint32_t *size);
    int32_t (*closeFile)(QuOsFile file);
    int32_t (*replaceFile)(const char *from, const char *to);
    int32_t (*deleteFile)(const char *path);
    int32_t (*moveFile)(const char *from, const char *to);
};
// The seam's own calls (os_files.h).
extern const QuFileCalls kSystemFileCalls;
// Puts `calls` in use, null for the system's; returns the table used before.
const QuFileCalls *QuUseFileCalls(const QuFileCalls *calls);

// Windows system error numbers to the plug-in's codes.
int32_t QuMapSystemError(int32_t windowsError);

int32_t QuCreateFile(const char *path);
int32_t QuOpenFile(const char *path, int32_t mode, QuFile *file);
// *count: bytes wanted in, bytes moved out.
int32_t QuReadFile(QuFile file, int32_t *count, void *buffer);
int32_t QuWriteFile(QuFile file, int32_t *count, const void *buffer);
int32_t QuSetEndOfFile(QuFile file);
int32_t QuGetFileSize(QuFile file, uint32_t *size);
int32_t QuCloseFile(QuFile file);
int32_t QuFlushFile(QuFile file);
int32_t QuReplaceFile(const char *from, const char *to);
int32_t QuDeleteFile(const char *path);
// Gives the file a new name; kErrFileExists when that name is taken.
int32_t QuMoveFile(const char *from, const char *to);

// The full path of this host's event file, into kHostPathSize bytes;
// kErrBadName when the folder is not available or the path does not fit.
int32_t QuEventFilePath(char *path);
// This host's event file name, without the folder.
const char *QuEventFileName(void);
// Appends `tail` to a path of kHostPathSize bytes; kErrBadName when it
// does not fit.
int32_t QuAppendToPath(char *path, const char *tail);

// Shutdown's save: the table into the image, and every text released.
int32_t QuSaveEventTable(HostHandle image);
// The same image, the table left as it is.
int32_t QuCopyEventTable(HostHandle image);
int32_t QuLoadEventTable(HostHandle image);
int32_t QuWriteEventFile(HostHandle image);
int32_t QuReadEventFile(HostHandle image);

// ---- the file across a run (event_store.cpp) ----
// Start-up, once the table is made, with the status of making it: the
// file's events into the table. A file that exists but is not loaded, for
// whatever reason, is moved aside, never written over.
int32_t QuRestoreEvents(int32_t tableStatus);
// Idle: writes the table when it changed since the last write; a failure
// is retried at later polls and reported once a run.
void QuSaveChangedEvents(void);
// Shutdown: writes the table, then disposes it.
void QuSaveEventsAtShutdown(void);

#endif
