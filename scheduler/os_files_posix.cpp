// The event file's seam on POSIX. There are no sharing modes here: a second
// process may open the file that the first one has open.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "frame/host_overrides.h"
#include "frame/os_errors_posix.h"
#include "frame/plugin_frame.h"
#include "os_files.h"

static int32_t QuOpenResult(int fd, QuOsFile *file)
{
    *file = fd < 0 ? kOsNoFile : (QuOsFile)fd;
    return fd < 0 ? QuWindowsError(errno) : 0;
}

int32_t QuOsCreateNewFile(const char *path, QuOsFile *file)
{
    return QuOpenResult(open(path, O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666), file);
}

int32_t QuOsOpenFile(const char *path, bool forWriting, QuOsFile *file)
{
    return QuOpenResult(open(path, (forWriting ? O_WRONLY : O_RDONLY) | O_CLOEXEC), file);
}

int32_t QuOsReadFile(QuOsFile file, void *buffer, uint32_t count, uint32_t *done)
{
    ssize_t n = read((int)file, buffer, count);
    *done = n < 0 ? 0 : (uint32_t)n;
    return n < 0 ? QuWindowsError(errno) : 0;
}

int32_t QuOsWriteFile(QuOsFile file, const void *buffer, uint32_t count, uint32_t *done)
{
    ssize_t n = write((int)file, buffer, count);
    *done = n < 0 ? 0 : (uint32_t)n;
    return n < 0 ? QuWindowsError(errno) : 0;
}

int32_t QuOsFlushFile(QuOsFile file)
{
    return fsync((int)file) != 0 ? QuWindowsError(errno) : 0;
}

int32_t QuOsSetEndOfFile(QuOsFile file)
{
    off_t position = lseek((int)file, 0, SEEK_CUR);
    if (position < 0 || ftruncate((int)file, position) != 0)
        return QuWindowsError(errno);
    return 0;
}

int32_t QuOsGetFileSize(QuOsFile file, uint32_t *size)
{
    struct stat info;
    *size = 0;
    if (fstat((int)file, &info) != 0)
        return QuWindowsError(errno);
    *size = (uint32_t)info.st_size;
    return 0;
}

int32_t QuOsCloseFile(QuOsFile file)
{
    return close((int)file) != 0 ? QuWindowsError(errno) : 0;
}

int32_t QuOsReplaceFile(const char *from, const char *to)
{
    if (rename(from, to) != 0)
        return QuWindowsError(errno);
    // The new name is on the disk only once its folder is; the file has
    // been replaced either way, so a folder that cannot be synced is no
    // failure of the replace.
    char folder[kHostPathSize];
    int32_t n = QuTextLength(to);
    while (n > 0 && to[n - 1] != '/')
        n--;
    if (n == 0 || QuCopyBounded(to, n, folder, sizeof folder) != 0)
        return 0;
    int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
    return 0;
}

int32_t QuOsDeleteFile(const char *path)
{
    return unlink(path) != 0 ? QuWindowsError(errno) : 0;
}

int32_t QuOsMoveFile(const char *from, const char *to)
{
    // The test for an existing name and the move are one step.
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return QuWindowsError(errno);
    // A file system without it: a second name that cannot exist twice.
    if (link(from, to) != 0)
        return QuWindowsError(errno);
    return unlink(from) != 0 ? QuWindowsError(errno) : 0;
}
