// The one mapping of POSIX errors to Windows system error numbers, so that
// the shared code and its tests see one error space on every platform.
#ifndef ROUSER_OS_ERRORS_POSIX_H
#define ROUSER_OS_ERRORS_POSIX_H

#include <stdint.h>

int32_t QuWindowsError(int errnoValue);

#endif
