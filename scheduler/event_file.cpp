// The event file on disk: where it lives, the file calls with their error
// codes, and moving a whole image between a host handle and the file.
#include "event_file.h"
#include "frame/host_overrides.h"
#include "frame/plugin_frame.h"

// The image goes here first, so that the event file is only ever replaced
// whole.
static const char kTempSuffix[] = ".tmp";

int32_t QuMapSystemError(int32_t windowsError)
{
    switch (windowsError) {
    case 0:
        return 0;
    case kWinFileNotFound:
        return kErrFileNotFound;
    case kWinPathNotFound:
        return kErrFolderNotFound;
    case kWinAccessDenied:
        return kErrAccessDenied;
    case kWsaTimedOut:
    case kWinInternetTimeout:
        return kErrTimedOut;
    case kWsaHostNotFound:
    case kWsaNoData:
        return kErrHostNotFound;
    default:
        return windowsError;
    }
}

// Both system numbers for a name that is taken become one code.
static int32_t QuMapNameTaken(int32_t error)
{
    if (error == kWinFileExists || error == kWinAlreadyExists)
        return kErrFileExists;
    return QuMapSystemError(error);
}

const QuFileCalls kSystemFileCalls = {
    QuOsCreateNewFile, QuOsOpenFile,  QuOsReadFile,    QuOsWriteFile,  QuOsFlushFile, QuOsSetEndOfFile,
    QuOsGetFileSize,   QuOsCloseFile, QuOsReplaceFile, QuOsDeleteFile, QuOsMoveFile,
};

static const QuFileCalls *Calls = &kSystemFileCalls;

const QuFileCalls *QuUseFileCalls(const QuFileCalls *calls)
{
    const QuFileCalls *before = Calls;
    Calls = calls != NULL ? calls : &kSystemFileCalls;
    return before;
}

int32_t QuCreateFile(const char *path)
{
    QuOsFile file;
    int32_t error = Calls->createNewFile(path, &file);
    if (error != 0)
        return QuMapNameTaken(error);
    return QuMapSystemError(Calls->closeFile(file));
}

int32_t QuOpenFile(const char *path, int32_t mode, QuFile *file)
{
    int32_t error = Calls->openFile(path, mode == kFileWrite, file);
    if (error != 0)
        *file = kOsNoFile;
    return QuMapSystemError(error);
}

int32_t QuReadFile(QuFile file, int32_t *count, void *buffer)
{
    uint32_t done = 0;
    int32_t wanted = *count;
    *count = 0;
    if (wanted < 0)
        return kErrBadParameter;
    int32_t error = Calls->readFile(file, buffer, (uint32_t)wanted, &done);
    if (error == kWinHandleEOF)
        return kErrEndOfFile;
    if (error != 0)
        return QuMapSystemError(error);
    *count = (int32_t)done;
    // The file ended before the count: the rest of the buffer holds no data.
    return done < (uint32_t)wanted ? kErrEndOfFile : 0;
}

int32_t QuWriteFile(QuFile file, int32_t *count, const void *buffer)
{
    uint32_t done = 0;
    int32_t wanted = *count;
    *count = 0;
    if (wanted < 0)
        return kErrBadParameter;
    int32_t error = Calls->writeFile(file, buffer, (uint32_t)wanted, &done);
    if (error != 0)
        return QuMapSystemError(error);
    *count = (int32_t)done;
    // A write that stops short has run out of room.
    return done < (uint32_t)wanted ? kWinDiskFull : 0;
}

int32_t QuSetEndOfFile(QuFile file)
{
    return QuMapSystemError(Calls->setEndOfFile(file));
}

int32_t QuGetFileSize(QuFile file, uint32_t *size)
{
    *size = 0;
    return QuMapSystemError(Calls->getFileSize(file, size));
}

int32_t QuFlushFile(QuFile file)
{
    return QuMapSystemError(Calls->flushFile(file));
}

int32_t QuCloseFile(QuFile file)
{
    return QuMapSystemError(Calls->closeFile(file));
}

int32_t QuReplaceFile(const char *from, const char *to)
{
    return QuMapSystemError(Calls->replaceFile(from, to));
}

int32_t QuDeleteFile(const char *path)
{
    return QuMapSystemError(Calls->deleteFile(path));
}

int32_t QuMoveFile(const char *from, const char *to)
{
    return QuMapNameTaken(Calls->moveFile(from, to));
}

const char *QuEventFileName(void)
{
    // Each kind and generation of host keeps its own file.
    static const char *const kNames[2][3] = {
        {"RousEvn5.Qul", "RousEvn7.Qul", "RousEvn3.Qul"},
        {"RousEvR5.Qul", "RousEvR7.Qul", "RousEvR3.Qul"},
    };
    int32_t generation = Host.version == kHostVersionFive ? 0 : Host.version == kHostVersionSeven ? 1 : 2;
    return kNames[Host.windowKind == 0 ? 0 : 1][generation];
}

int32_t QuAppendToPath(char *path, const char *tail)
{
    int32_t n = QuTextLength(path);
    if (QuCopyBounded(tail, QuTextLength(tail), path + n, kHostPathSize - n) != 0)
        return kErrBadName;
    return 0;
}

int32_t QuEventFilePath(char *path)
{
    if (QuHostFolder(path, kHostPathSize) != 0) {
        path[0] = 0;
        return kErrBadName;
    }
    return QuAppendToPath(path, QuEventFileName());
}

// Writes the whole image into the file at `path`, which may already exist
// from an earlier attempt that failed, and sends it to the disk.
static int32_t QuWriteWholeFile(const char *path, HostHandle image, int32_t size)
{
    QuFile file;
    char *data;
    int32_t status = QuCreateFile(path);
    if (status != 0 && status != kErrFileExists)
        return status;
    status = QuOpenFile(path, kFileWrite, &file);
    if (status != 0)
        return status;
    if (QuLockHandle(image, &data) != 0) {
        status = kErrLock;
    } else {
        int32_t count = size;
        status = QuWriteFile(file, &count, data);
        QuUnlockHandle(image);
    }
    if (status == 0)
        status = QuSetEndOfFile(file);
    if (status == 0)
        status = QuFlushFile(file);
    int32_t closed = QuCloseFile(file);
    return status != 0 ? status : closed;
}

int32_t QuWriteEventFile(HostHandle image)
{
    char path[kHostPathSize], temp[kHostPathSize];
    if (image == NULL)
        return kErrNoHandle;
    int32_t status = QuEventFilePath(path);
    if (status != 0)
        return status;
    // Nothing to write: the file stays as it was.
    int32_t size = QuGetHandleSize(image);
    if (size <= 0)
        return 0;
    QuCopyText(temp, path);
    status = QuAppendToPath(temp, kTempSuffix);
    if (status != 0)
        return status;
    status = QuWriteWholeFile(temp, image, size);
    if (status == 0)
        status = QuReplaceFile(temp, path);
    if (status != 0)
        QuDeleteFile(temp);
    return status;
}

int32_t QuReadEventFile(HostHandle image)
{
    char path[kHostPathSize];
    QuFile file;
    uint32_t size = 0;
    char *data;
    if (image == NULL)
        return kErrNoHandle;
    int32_t status = QuEventFilePath(path);
    if (status != 0)
        return status;
    status = QuOpenFile(path, kFileRead, &file);
    if (status != 0)
        return status;
    status = QuGetFileSize(file, &size);
    // No host block is that large.
    if (status == 0 && size > 0x7FFFFFFFu)
        status = kErrMemory;
    if (status == 0 && QuSetHandleSize(image, (int32_t)size) != 0)
        status = kErrMemory;
    if (status == 0 && size > 0) {
        if (QuLockHandle(image, &data) != 0) {
            status = kErrLock;
        } else {
            int32_t count = (int32_t)size;
            status = QuReadFile(file, &count, data);
            QuUnlockHandle(image);
        }
    }
    // Everything wanted has been read by now.
    QuCloseFile(file);
    return status;
}
