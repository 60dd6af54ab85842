// The event table in file form: a header line, then one entry per event in
// slot order, integers little-endian, at most 64000 bytes in all.
#include "event_file.h"
#include "event_table.h"
#include "frame/plugin_frame.h"

static const char kHeader[kEventFileHeaderSize + 1] = "#Quil v1.0\n";

// An image being made: a first round over the events sizes it, a second
// writes their entries.
struct QuImageWriter {
    HostHandle image;
    int64_t size;
    char *out; // null in the first round
    int32_t offset;
};

// The length of an event's text; -1 when it cannot be sized or is longer
// than any accepted text.
static int32_t QuTextSize(const QuEvent *event)
{
    int32_t length = event->text != NULL ? QuGetHandleSize(event->text) : 0;
    return length < 0 || length > kMaxEntryText ? -1 : length;
}

// After the first round: the image made as long as the header and every
// entry, and locked, with its header. No accepted text makes it longer
// than a handle holds.
static int32_t QuStartImage(QuImageWriter *writer)
{
    if (writer->size > 0x7FFFFFFF || QuSetHandleSize(writer->image, (int32_t)writer->size) != 0)
        return kErrMemory;
    if (QuLockHandle(writer->image, &writer->out) != 0) {
        writer->out = NULL;
        return kErrLock;
    }
    QuCopyBytes(writer->out, kHeader, kEventFileHeaderSize);
    return kVisitAgain;
}

static int32_t QuPutEntry(const QuEvent *event, QuImageWriter *writer, int32_t length)
{
    char *entry = writer->out + writer->offset;
    entry[kEntryMarker] = '*';
    QuPutLE32(entry + kEntryDue, event->due);
    QuPutLE32(entry + kEntryState, (uint32_t)event->state);
    QuPutLE32(entry + kEntryID, event->id);
    QuPutLE32(entry + kEntryFlags, (uint32_t)event->flags);
    QuPutLE32(entry + kEntryReserved, event->reserved);
    QuPutLE32(entry + kEntryTextLength, (uint32_t)length);
    if (length > 0) {
        char *bytes;
        if (QuLockHandle(event->text, &bytes) != 0)
            return kErrLock;
        QuCopyBytes(entry + kEntryText, bytes, length);
        QuUnlockHandle(event->text);
    }
    QuPutLE32(entry + kEntryText + length, 0);
    entry[kEntryText + length + 4] = '\n';
    writer->offset += kEntryOverhead + length;
    return 0;
}

// One event of either round (QuEventVisitor).
static int32_t QuImageEvent(const QuEvent *event, void *context)
{
    QuImageWriter *writer = (QuImageWriter *)context;
    if (event == NULL)
        return writer->out == NULL ? QuStartImage(writer) : 0;
    int32_t length = QuTextSize(event);
    if (length < 0)
        return kErrMemory;
    if (writer->out != NULL)
        return QuPutEntry(event, writer, length);
    writer->size += kEntryOverhead + length;
    return 0;
}

// The table in file form, all of it; the image is left empty on failure.
static int32_t QuImageEventTable(HostHandle image, bool release)
{
    if (EventTable.handle == NULL || image == NULL)
        return kErrNoHandle;
    QuImageWriter writer = {image, kEventFileHeaderSize, NULL, kEventFileHeaderSize};
    int32_t status = QuForEachEvent(QuImageEvent, &writer, release);
    if (writer.out != NULL)
        QuUnlockHandle(image);
    // A half-made image must never reach the file.
    if (status != 0 && QuGetHandleSize(image) != 0)
        QuSetHandleSize(image, 0);
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

// An image being loaded: its bytes once locked, and where the next entry
// starts.
struct QuImageReader {
    HostHandle image;
    const char *in;
    int32_t size;
    int64_t offset;
};

// The first call: the image locked and its header checked.
static int32_t QuOpenImage(QuImageReader *reader)
{
    char *in;
    // An image that cannot be read is no empty file: its events must not
    // be written over.
    if (QuLockHandle(reader->image, &in) != 0)
        return kErrLock;
    reader->in = in;
    if (reader->size < kEventFileHeaderSize || QuCompareText(in, kHeader, kEventFileHeaderSize, true) != 0)
        return kErrFileDamaged;
    reader->offset = kEventFileHeaderSize;
    return 0;
}

// The entry's text in a handle of its own.
static int32_t QuTakeText(const char *bytes, uint32_t length, HostHandle *text)
{
    int32_t status;
    *text = QuNewHandle((int32_t)length, &status);
    if (status != 0)
        return kErrMemory;
    if (length > 0) {
        char *into;
        if (QuLockHandle(*text, &into) != 0) {
            QuDisposeHandle(*text);
            *text = NULL;
            return kErrLock;
        }
        QuCopyBytes(into, bytes, (int32_t)length);
        QuUnlockHandle(*text);
    }
    return 0;
}

// Decodes the next entry into `event` (QuEventSource).
static int32_t QuNextEntry(void *context, QuEvent *event, bool *read)
{
    QuImageReader *reader = (QuImageReader *)context;
    if (reader->size <= 0)
        return kNoMoreEvents;
    if (reader->in == NULL) {
        int32_t status = QuOpenImage(reader);
        if (status != 0)
            return status;
    }
    if (reader->offset >= reader->size)
        return kNoMoreEvents;
    const char *entry = reader->in + reader->offset;
    int64_t rest = reader->size - reader->offset;
    if (rest < kEntryTextLength)
        return kErrFileDamaged;
    event->due = QuGetLE32(entry + kEntryDue);
    event->state = (int32_t)QuGetLE32(entry + kEntryState);
    event->id = QuGetLE32(entry + kEntryID);
    event->flags = (int32_t)QuGetLE32(entry + kEntryFlags);
    event->reserved = QuGetLE32(entry + kEntryReserved);
    *read = true;
    if (entry[kEntryMarker] != '*' || rest < kEntryText)
        return kErrFileDamaged;
    uint32_t length = QuGetLE32(entry + kEntryTextLength);
    if (length > kMaxEntryText)
        return kErrBadParameter;
    if (rest - kEntryText < (int64_t)length)
        return kErrFileDamaged;
    int32_t status = QuTakeText(entry + kEntryText, length, &event->text);
    // The four zero bytes and the line feed are skipped unread.
    if (status == 0)
        reader->offset += kEntryOverhead + length;
    return status;
}

int32_t QuLoadEventTable(HostHandle image)
{
    if (EventTable.handle == NULL || image == NULL)
        return kErrNoHandle;
    QuImageReader reader = {image, NULL, QuGetHandleSize(image), 0};
    int32_t status = QuLoadEvents(QuNextEntry, &reader);
    if (reader.in != NULL)
        QuUnlockHandle(image);
    return status;
}
