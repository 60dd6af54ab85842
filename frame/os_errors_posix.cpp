// errno values as the Windows calls the seams stand in for would report them.
#include <errno.h>
#include <stddef.h>

#include "errors.h"
#include "os_errors_posix.h"

int32_t QuWindowsError(int errnoValue)
{
    static const struct {
        int errnoValue;
        int32_t windowsError;
    } kMap[] = {
        // One row a line, as a table reads.
        // clang-format off
        {ENOENT, kWinFileNotFound},
        {ENOTDIR, kWinPathNotFound},
        {EMFILE, kWinTooManyOpenFiles},
        {ENFILE, kWinTooManyOpenFiles},
        {EACCES, kWinAccessDenied},
        {EPERM, kWinAccessDenied},
        {EISDIR, kWinAccessDenied},
        {EBADF, kWinInvalidHandle},
        {ENOMEM, kWinNotEnoughMemory},
        {EXDEV, kWinNotSameDevice},
        {EROFS, kWinWriteProtect},
        {EBUSY, kWinSharingViolation},
        {ETXTBSY, kWinSharingViolation},
        {EEXIST, kWinFileExists},
        {EINVAL, kWinInvalidParameter},
        {ENOSPC, kWinDiskFull},
        {EDQUOT, kWinDiskFull},
        {ENOTEMPTY, kWinDirNotEmpty},
        {ENAMETOOLONG, kWinBadPathName},
        {EFBIG, kWinFileTooLarge},
        {EIO, kWinIoDevice},
        // clang-format on
    };
    for (size_t i = 0; i < sizeof kMap / sizeof kMap[0]; i++) {
        if (kMap[i].errnoValue == errnoValue)
            return kMap[i].windowsError;
    }
    return kWinGenFailure;
}

// errno values as Windows Sockets would report the same failure.
int32_t QuSocketError(int errnoValue)
{
    static const struct {
        int errnoValue;
        int32_t socketError;
    } kMap[] = {
        {EINTR, kWsaInterrupted},
        {EBADF, kWsaBadDescriptor},
        {EACCES, kWsaAccess},
        {EPERM, kWsaAccess},
        {EFAULT, kWsaFault},
        {EINVAL, kWsaInvalid},
        {EMFILE, kWsaTooManySockets},
        {ENFILE, kWsaTooManySockets},
        {EWOULDBLOCK, kWsaWouldBlock},
        {EAGAIN, kWsaWouldBlock},
        // A non-blocking connect under way is "would block" on Windows.
        {EINPROGRESS, kWsaWouldBlock},
        {EALREADY, kWsaAlready},
        {ENOTSOCK, kWsaNotSocket},
        {EDESTADDRREQ, kWsaNoDestination},
        {EMSGSIZE, kWsaMessageSize},
        {EPROTOTYPE, kWsaProtocolType},
        {ENOPROTOOPT, kWsaNoProtocolOption},
        {EPROTONOSUPPORT, kWsaProtocolNotSupported},
        {ESOCKTNOSUPPORT, kWsaSocketTypeNotSupported},
        {EOPNOTSUPP, kWsaOperationNotSupported},
        {EPFNOSUPPORT, kWsaFamilyNotSupported},
        {EAFNOSUPPORT, kWsaAddressFamily},
        {EADDRINUSE, kWsaAddressInUse},
        {EADDRNOTAVAIL, kWsaAddressNotAvailable},
        {ENETDOWN, kWsaNetworkDown},
        {ENETUNREACH, kWsaNetworkUnreachable},
        {ENETRESET, kWsaNetworkReset},
        {ECONNABORTED, kWsaConnectionAborted},
        {ECONNRESET, kWsaConnectionReset},
        {ENOBUFS, kWsaNoBuffers},
        {ENOMEM, kWsaNoBuffers},
        {EISCONN, kWsaConnected},
        {ENOTCONN, kWsaNotConnected},
        {EPIPE, kWsaConnectionReset},
        {ESHUTDOWN, kWsaShutDown},
        {ETIMEDOUT, kWsaTimedOut},
        {ECONNREFUSED, kWsaRefused},
        {ENAMETOOLONG, kWsaNameTooLong},
        {EHOSTDOWN, kWsaHostDown},
        {EHOSTUNREACH, kWsaHostUnreachable},
    };
    for (size_t i = 0; i < sizeof kMap / sizeof kMap[0]; i++) {
        if (kMap[i].errnoValue == errnoValue)
            return kMap[i].socketError;
    }
    return kWsaSystemCallFailure; // a system call that should never fail failed
}

int32_t QuResolverError(int hErrno)
{
    // HOST_NOT_FOUND, TRY_AGAIN, NO_RECOVERY and NO_DATA are 1 to 4 here
    // and kWsaHostNotFound to kWsaNoData in Windows Sockets.
    if (hErrno >= 1 && hErrno <= 4)
        return kWsaHostNotFound - 1 + hErrno;
    return kWsaNoRecovery;
}
