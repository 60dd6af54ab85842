// The host's text library "FMWrapper.dll" as the plug-in calls it. The
// start-script callback takes text objects of this library, not C strings.
#ifndef ROUSER_TEXT_LIBRARY_H
#define ROUSER_TEXT_LIBRARY_H

#include <stdint.h>

// The library's exports are plain C functions, so the C default: __cdecl
// (the caller pops the arguments; exported without decoration).
#if defined(_WIN32) && !defined(_WIN64)
#define TEXT_LIB_CALL __cdecl
#else
#define TEXT_LIB_CALL
#endif

// Passed by address as the last argument of every library call. The
// library may use it as it likes; the plug-in sets it to (1, 0) once per
// start and never reads it back.
struct QuTextStatus {
    int32_t first;
    int32_t second;
};

// The encoding value the plug-in passes with its multibyte names.
enum { kQuTextEncodingMultibyte = 4 };

typedef void *(TEXT_LIB_CALL *QuTextConstructorProc)(QuTextStatus *status);
typedef void(TEXT_LIB_CALL *QuTextDeleteProc)(void *text, QuTextStatus *status);
typedef void(TEXT_LIB_CALL *QuTextAssignProc)(void *text, const char *source, int32_t encoding,
                                              QuTextStatus *status);

#endif
