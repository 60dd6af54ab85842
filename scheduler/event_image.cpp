// The event table in file form: a header line, then one entry per event in
// slot order, integers little-endian, at most 64000 bytes in all.
#include "event_file.h"
#include "event_table.h"
#include "frame/plugin_frame.h"

static const char kHeader[kEventFileHeaderSize + 1] = "#Quil v1.0\n";

// The image's length for the whole table: the header and one entry per
// event. -1 when a text cannot be sized or the image would not fit a
// handle; no accepted text is that long.
static int32_t QuImageSize(char *table)
{
    int64_t size = kEventFileHeaderSize;
    for (int32_t i = 0; i < EventTable.count; i++) {
        HostHandle text = QuRecordText(QuEventRecord(table, i));
        int32_t length = text != NULL ? QuGetHandleSize(text) : 0;
        if (length < 0 || length > kMaxEntryText)
            return -1;
        size += kEntryOverhead + length;
    }
    return size <= 0x7FFFFFFF ? (int32_t)size : -1;
}

// Writes the header and every entry into `out`, which holds the whole image.
static int32_t QuPutEntries(char *table, char *out)
{
    int32_t offset = kEventFileHeaderSize;
    QuCopyBytes(out, kHeader, kEventFileHeaderSize);
    for (int32_t i = 0; i < EventTable.count; i++) {
        char *record = QuEventRecord(table, i);
        HostHandle text = QuRecordText(record);
        int32_t length = text != NULL ? QuGetHandleSize(text) : 0;
        char *entry = out + offset;
        record[kRecordMarker] = '*';
        QuCopyBytes(entry, record, kRecordHeaderSize);
        QuPutLE32(entry + kEntryTextLength, (uint32_t)length);
        if (length > 0) {
            char *bytes;
            if (QuLockHandle(text, &bytes) != 0)
                return kErrLock;
            QuCopyBytes(entry + kEntryText, bytes, length);
            QuUnlockHandle(text);
        }
        QuPutLE32(entry + kEntryText + length, 0);
        entry[kEntryText + length + 4] = '\n';
        offset += kEntryOverhead + length;
    }
    return 0;
}

// The table in file form, all of it; the image is left empty on failure.
static int32_t QuImageEventTable(HostHandle image, bool release)
{
    char *table, *out;
    if (EventTable.handle == NULL || image == NULL)
        return kErrNoHandle;
    if (QuLockHandle(EventTable.handle, &table) != 0)
        return kErrLock;
    int32_t size = QuImageSize(table);
    int32_t status = size < 0 ? kErrMemory : 0;
    if (status == 0 && QuSetHandleSize(image, size) != 0)
        status = kErrMemory;
    if (status == 0 && QuLockHandle(image, &out) != 0)
        status = kErrLock;
    if (status == 0) {
        status = QuPutEntries(table, out);
        QuUnlockHandle(image);
    }
    // A half-made image must never reach the file.
    if (status != 0 && QuGetHandleSize(image) != 0)
        QuSetHandleSize(image, 0);
    if (release)
        QuReleaseEventTexts(table);
    QuUnlockHandle(EventTable.handle);
    return status;
}

int32_t QuSaveEventTable(HostHandle image)
{
    // Saved or not, the table ends empty without keeping a text.
    return QuImageEventTable(image, true);
}

int32_t QuCopyEventTable(HostHandle image)
{
    return QuImageEventTable(image, false);
}

// Reads one entry into the record of `slot`; *offset moves past it.
static int32_t QuTakeEntry(char *table, int32_t slot, const char *in, int64_t size, int64_t *offset,
                           uint32_t now)
{
    const char *entry = in + *offset;
    int64_t rest = size - *offset;
    if (rest < kRecordHeaderSize)
        return kErrFileDamaged;
    char *record = QuEventRecord(table, slot);
    QuCopyBytes(record, entry, kRecordHeaderSize);
    QuAdmitLoadedRecord(record, now);
    if (record[kRecordMarker] != '*')
        return kErrFileDamaged;
    if (rest < kEntryText)
        return kErrFileDamaged;
    uint32_t length = QuGetLE32(entry + kEntryTextLength);
    if (length > kMaxEntryText)
        return kErrBadParameter;
    if (rest - kEntryText < (int64_t)length)
        return kErrFileDamaged;
    int32_t status;
    HostHandle text = QuNewHandle((int32_t)length, &status);
    if (status != 0)
        return kErrMemory;
    if (length > 0) {
        char *bytes;
        if (QuLockHandle(text, &bytes) != 0) {
            QuDisposeHandle(text);
            return kErrLock;
        }
        QuCopyBytes(bytes, entry + kEntryText, (int32_t)length);
        QuUnlockHandle(text);
    }
    QuSetRecordText(record, text);
    // The four zero bytes and the line feed are skipped unread.
    *offset += kEntryOverhead + length;
    return 0;
}

static int32_t QuTakeEntries(char *table, const char *in, int32_t size, uint32_t now)
{
    if (size < kEventFileHeaderSize || QuCompareText(in, kHeader, kEventFileHeaderSize, true) != 0)
        return kErrFileDamaged;
    QuBeginLoad();
    int64_t offset = kEventFileHeaderSize;
    for (int32_t slot = 0; offset < size && slot < kMaxEvents; slot++) {
        int32_t status = QuTakeEntry(table, slot, in, size, &offset, now);
        if (status != 0)
            return status;
        QuCountLoadedRecord();
    }
    return 0;
}

int32_t QuLoadEventTable(HostHandle image)
{
    char *table, *in;
    if (EventTable.handle == NULL || image == NULL)
        return kErrNoHandle;
    uint32_t now = QuNow1904(NULL);
    if (QuLockHandle(EventTable.handle, &table) != 0)
        return kErrLock;
    int32_t status = 0;
    int32_t size = QuGetHandleSize(image);
    if (size > 0) {
        // An image that cannot be read is no empty file: its events must
        // not be written over.
        if (QuLockHandle(image, &in) != 0) {
            status = kErrLock;
        } else {
            status = QuTakeEntries(table, in, size, now);
            QuUnlockHandle(image);
        }
    }
    // A damaged file is thrown away whole, texts and counters included.
    if (status != 0)
        QuReleaseEventTexts(table);
    QuUnlockHandle(EventTable.handle);
    QuEndLoad();
    return status;
}
