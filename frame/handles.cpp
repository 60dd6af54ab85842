// Host memory handles, parameter tokens and result text. Every fallible
// host callback is followed at once by the memory-error callback, and the
// first error ends the operation; a locked handle is unlocked on every path.
#include "plugin_frame.h"

static int32_t QuMemError(void)
{
    int16_t error = Host.record->memError();
    return error == 0 ? 0 : (int32_t)error;
}

HostHandle QuNewHandle(int32_t size, int32_t *status)
{
    HostHandle handle = Host.record->newHandle(size);
    int32_t error = QuMemError();
    if (error == 0 && handle == NULL)
        error = kErrMemory;
    if (error != 0 && handle != NULL) {
        Host.record->disposeHandle(handle);
        handle = NULL;
    }
    *status = error;
    return handle;
}

int32_t QuSetHandleSize(HostHandle handle, int32_t size)
{
    Host.record->setHandleSize(handle, size);
    return QuMemError();
}

int32_t QuGetHandleSize(HostHandle handle)
{
    return Host.record->getHandleSize(handle);
}

void QuDisposeHandle(HostHandle handle)
{
    if (handle != NULL)
        Host.record->disposeHandle(handle);
}

int32_t QuLockHandle(HostHandle handle, char **data)
{
    Host.record->lockHandle(handle);
    int32_t error = QuMemError();
    if (error != 0) {
        // A lock that failed left nothing locked, so nothing is unlocked.
        *data = NULL;
        return error;
    }
    *data = *handle;
    return 0;
}

void QuUnlockHandle(HostHandle handle)
{
    Host.record->unlockHandle(handle);
}

int32_t QuStoreHandleBytes(const char *bytes, int32_t count, HostHandle handle)
{
    char *data;
    if (count <= 0)
        return 0;
    int32_t status = QuSetHandleSize(handle, count);
    if (status == 0)
        status = QuLockHandle(handle, &data);
    if (status != 0)
        return status;
    QuCopyBytes(data, bytes, count);
    QuUnlockHandle(handle);
    return 0;
}

static int32_t QuWriteResult(const char *text, HostHandle handle)
{
    char *data;
    int32_t n = QuTextLength(text);
    int32_t status = QuSetHandleSize(handle, n);
    if (status != 0)
        return status;
    status = QuLockHandle(handle, &data);
    if (status != 0) {
        // Resized but unwritten, the handle would hold n bytes of whatever.
        QuSetHandleSize(handle, 0);
        return status;
    }
    QuCopyBytes(data, text, n);
    QuUnlockHandle(handle);
    return 0;
}

int32_t QuSetResultText(const char *text, HostHandle handle)
{
    int32_t status = QuWriteResult(text, handle);
    // An answer that could not be written must not pass for one: the
    // caller gets the memory error if the host lets that be written.
    char memoryError[16] = "$$";
    QuFormatSigned(kErrMemory, memoryError + 2);
    int32_t n = QuTextLength(memoryError) + 1;
    if (status != 0 && QuCompareText(text, memoryError, n, true) != 0)
        QuWriteResult(memoryError, handle);
    return status;
}

int32_t QuSetResultNumber(int32_t value, HostHandle handle)
{
    char text[100];
    QuFormatSigned(value, text);
    return QuSetResultText(text, handle);
}

int32_t QuSetResultUnsigned(uint32_t value, HostHandle handle)
{
    char text[100];
    QuFormatUnsigned(value, text);
    return QuSetResultText(text, handle);
}

int32_t QuSetErrorResult(int32_t code, HostHandle handle)
{
    // "$$" and the longest number fit.
    char text[16] = "$$";
    if (code == 0)
        return QuSetResultText("0", handle);
    QuFormatSigned(code, text + 2);
    return QuSetResultText(text, handle);
}

int32_t QuPrepareResult(const char *text, HostHandle handle, QuPreparedResult *answer)
{
    answer->handle = handle;
    answer->data = NULL;
    if (QuCopyBounded(text, QuTextLength(text), answer->text, kPreparedResultSize) != 0)
        return kErrBadParameter;
    int32_t status = QuSetHandleSize(handle, QuTextLength(answer->text));
    if (status == 0)
        status = QuLockHandle(handle, &answer->data);
    return status;
}

void QuFinishResult(QuPreparedResult *answer, int32_t status)
{
    if (answer->data != NULL) {
        if (status == 0)
            QuCopyBytes(answer->data, answer->text, QuTextLength(answer->text));
        QuUnlockHandle(answer->handle);
        answer->data = NULL;
        if (status == 0)
            return;
    }
    QuSetErrorResult(status, answer->handle);
}

int32_t QuReadNextToken(HostHandle handle, char *buffer, int32_t capacity, int32_t *position)
{
    char *data;
    int32_t p = *position;
    if (capacity <= 0)
        return kErrBadParameter;
    // A call's first token reloads the preferences: a separator the user
    // changed takes effect at the next call.
    if (p == 0)
        QuLoadPrefs();
    buffer[0] = 0;
    if (p == -1)
        return 0;
    const char *separator = QuGetSeparator();
    int32_t separatorLength = QuTextLength(separator);
    // The field could not be read: an empty token here would let the caller
    // take the next field for this one.
    if (QuLockHandle(handle, &data) != 0)
        return kErrMemory;
    int32_t rest = QuGetHandleSize(handle) - p;
    if (rest <= 0 || p < 0) {
        *position = -1;
        QuUnlockHandle(handle);
        return 0;
    }
    int32_t k = QuFindText(data + p, rest, separator, separatorLength, 0, 1, true);
    int32_t n = k < 0 ? rest : k;
    if (n > capacity - 1)
        n = capacity - 1;
    QuCopyBytes(buffer, data + p, n);
    buffer[n] = 0;
    *position = k < 0 ? -1 : p + k + separatorLength;
    QuUnlockHandle(handle);
    return 0;
}

int32_t QuCopyHandleRange(HostHandle source, int32_t sourceOffset, int32_t count, HostHandle dest,
                          int32_t destOffset, int32_t destSize)
{
    char *to, *from;
    int32_t sourceSize = QuGetHandleSize(source);
    if (sourceSize <= 0 || count <= 0 || destSize <= 0 || sourceOffset < 0 || destOffset < 0)
        return 0;
    if ((int64_t)destOffset + count > destSize || (int64_t)sourceOffset + count > sourceSize)
        return 0;
    int32_t status = QuSetHandleSize(dest, destSize);
    if (status == 0)
        status = QuLockHandle(dest, &to);
    if (status != 0)
        return status;
    status = QuLockHandle(source, &from);
    if (status == 0) {
        QuCopyBytes(to + destOffset, from + sourceOffset, count);
        QuUnlockHandle(source);
    }
    QuUnlockHandle(dest);
    return status;
}
