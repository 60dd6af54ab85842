// errno values as the Windows calls the seams stand in for would report them.
#include <errno.h>
#include <stddef.h>

#include "os_errors_posix.h"

int32_t QuWindowsError(int errnoValue)
{
    static const struct {
        int errnoValue;
        int32_t windowsError;
    } kMap[] = {
        {ENOENT, 2}, {ENOTDIR, 3}, {EMFILE, 4}, {ENFILE, 4}, {EACCES, 5}, {EPERM, 5},
        {EISDIR, 5}, {EBADF, 6}, {ENOMEM, 8}, {EXDEV, 17}, {EROFS, 19}, {EBUSY, 32},
        {ETXTBSY, 32}, {EEXIST, 80}, {EINVAL, 87}, {ENOSPC, 112}, {EDQUOT, 112},
        {ENOTEMPTY, 145}, {ENAMETOOLONG, 206}, {EFBIG, 223}, {EIO, 1117},
    };
    for (size_t i = 0; i < sizeof kMap / sizeof kMap[0]; i++) {
        if (kMap[i].errnoValue == errnoValue)
            return kMap[i].windowsError;
    }
    return 31; // a device attached to the system is not functioning
}
