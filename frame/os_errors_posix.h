// The one mapping of POSIX errors to Windows numbers: system error numbers
// for files and the registry, Windows Sockets numbers for sockets, so that
// the shared code and its tests see one error space on every platform.
#ifndef ROUSER_OS_ERRORS_POSIX_H
#define ROUSER_OS_ERRORS_POSIX_H

#include <stdint.h>

int32_t QuWindowsError(int errnoValue);
int32_t QuSocketError(int errnoValue);
// h_errno of a failed name lookup.
int32_t QuResolverError(int hErrno);

#endif
