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

// errno values as Windows Sockets would report the same failure.
int32_t QuSocketError(int errnoValue)
{
    static const struct {
        int errnoValue;
        int32_t socketError;
    } kMap[] = {
        {EINTR, 10004}, {EBADF, 10009}, {EACCES, 10013}, {EPERM, 10013}, {EFAULT, 10014},
        {EINVAL, 10022}, {EMFILE, 10024}, {ENFILE, 10024}, {EWOULDBLOCK, 10035}, {EAGAIN, 10035},
        // A non-blocking connect under way is "would block" on Windows.
        {EINPROGRESS, 10035}, {EALREADY, 10037}, {ENOTSOCK, 10038}, {EDESTADDRREQ, 10039},
        {EMSGSIZE, 10040}, {EPROTOTYPE, 10041}, {ENOPROTOOPT, 10042}, {EPROTONOSUPPORT, 10043},
        {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045}, {EPFNOSUPPORT, 10046}, {EAFNOSUPPORT, 10047},
        {EADDRINUSE, 10048}, {EADDRNOTAVAIL, 10049}, {ENETDOWN, 10050}, {ENETUNREACH, 10051},
        {ENETRESET, 10052}, {ECONNABORTED, 10053}, {ECONNRESET, 10054}, {ENOBUFS, 10055},
        {ENOMEM, 10055}, {EISCONN, 10056}, {ENOTCONN, 10057}, {EPIPE, 10054}, {ESHUTDOWN, 10058},
        {ETIMEDOUT, 10060}, {ECONNREFUSED, 10061}, {ENAMETOOLONG, 10063}, {EHOSTDOWN, 10064},
        {EHOSTUNREACH, 10065},
    };
    for (size_t i = 0; i < sizeof kMap / sizeof kMap[0]; i++) {
        if (kMap[i].errnoValue == errnoValue)
            return kMap[i].socketError;
    }
    return 10107; // WSASYSCALLFAILURE: a system call that should never fail failed
}

int32_t QuResolverError(int hErrno)
{
    // HOST_NOT_FOUND, TRY_AGAIN, NO_RECOVERY and NO_DATA are 1 to 4 here
    // and 11001 to 11004 (WSAHOST_NOT_FOUND ...) in Windows Sockets.
    if (hErrno >= 1 && hErrno <= 4)
        return 11000 + hErrno;
    return 11003;
}
