// Keeps the event file true to the table across every way a run can end:
// read at start-up, written behind every change at the next idle poll and
// again at shutdown. A file that could not be loaded is moved aside before
// anything is written in its place, and a failure to write is reported.
#include "event_file.h"
#include "event_table.h"
#include "frame/host_overrides.h"
#include "frame/plugin_frame.h"
#include "resources/rouser_strings.h"

enum {
    kFirstRetryTicks = 40,  // one poll
    kLastRetryTicks = 3600, // a minute: a disk that fills up is not hammered
    kMaxKeptCopies = 999
};

// The file across a run; set again at every start-up.
static struct {
    bool toKeep;            // an existing file that was not loaded: kept before any write
    const char *keptSuffix; // the cause, in the kept copy's name
    int32_t loadStatus;
    bool loadReported, saveReported;
    int32_t saveFailures; // in a row
    uint32_t saveFailedTicks;
} Store = {false, ".damaged", 0, false, false, 0, 0};

static void QuReportOnce(bool *reported, const char *what, const char *name, int32_t status)
{
    char text[160];
    if (*reported)
        return;
    *reported = true;
    QuCopyBounded(what, QuTextLength(what), text, 100);
    if (QuTextLength(name) < 50)
        QuAppendText(text, name);
    QuAppendText(text, ",");
    // On a host that nobody watches a box would stop every event until
    // someone clicks it; the preference leaves only the system log's line.
    uint32_t box = 1;
    QuPeekPrefNumber("ShowEventFileErrors", &box);
    QuReportError(ROUS_STRING_ERROR_CAPTION_ID, text, status, box != 0);
}

// Moves the event file to the first free name with the suffix of the cause:
// NAME.damaged, NAME.damaged.2, ... 0 when it is kept or was not there.
static int32_t QuKeepEventFileAside(void)
{
    char path[kHostPathSize], kept[kHostPathSize], suffix[32], name[64];
    int32_t status = QuEventFilePath(path);
    if (status != 0)
        return status;
    for (int32_t n = 1; n <= kMaxKeptCopies; n++) {
        QuCopyText(suffix, Store.keptSuffix);
        if (n > 1) {
            QuAppendText(suffix, ".");
            QuFormatSigned(n, suffix + QuTextLength(suffix));
        }
        QuCopyText(kept, path);
        status = QuAppendToPath(kept, suffix);
        if (status == 0)
            status = QuMoveFile(path, kept);
        if (status != kErrFileExists)
            break;
    }
    // A file that is not there needs no keeping.
    if (status != 0 && status != kErrFileNotFound)
        return status;
    Store.toKeep = false;
    if (status == 0) {
        QuCopyText(name, QuEventFileName());
        QuAppendText(name, suffix);
        QuReportOnce(&Store.loadReported, "Events not loaded; the event file is kept as ", name,
                     Store.loadStatus);
    }
    return 0;
}

int32_t QuRestoreEvents(int32_t tableStatus)
{
    Store.toKeep = false;
    Store.loadReported = Store.saveReported = false;
    Store.saveFailures = 0;
    int32_t status = tableStatus;
    bool damaged = false;
    HostHandle image = NULL;
    if (status == 0)
        image = QuNewHandle(0, &status);
    if (status == 0) {
        status = QuReadEventFile(image);
        if (status == 0) {
            status = QuLoadEventTable(image);
            damaged = status == kErrFileDamaged || status == kErrBadParameter;
        }
        QuDisposeHandle(image);
    }
    if (status == 0 || status == kErrFileNotFound)
        return status;
    // Whatever kept the events from loading, the file still holds them.
    Store.toKeep = true;
    Store.loadStatus = status;
    Store.keptSuffix = damaged ? ".damaged" : ".unread";
    int32_t kept = QuKeepEventFileAside();
    if (kept != 0)
        QuReportOnce(&Store.loadReported, "Events not loaded, and nothing is saved over ", QuEventFileName(),
                     kept);
    return status;
}

// The table into the event file; with `release` the texts go too.
static int32_t QuWriteEvents(bool release)
{
    int32_t status = Store.toKeep ? QuKeepEventFileAside() : 0;
    HostHandle image = NULL;
    if (status == 0)
        image = QuNewHandle(0, &status);
    if (status == 0)
        status = release ? QuSaveEventTable(image) : QuCopyEventTable(image);
    if (status == 0)
        status = QuWriteEventFile(image);
    if (image != NULL)
        QuDisposeHandle(image);
    return status;
}

static void QuSaveFailed(int32_t status)
{
    Store.saveFailures++;
    Store.saveFailedTicks = QuGetTicks();
    QuReportOnce(&Store.saveReported, "Events not saved in ", QuEventFileName(), status);
}

void QuSaveChangedEvents(void)
{
    if (!EventTable.changed || EventTable.handle == NULL)
        return;
    if (Store.saveFailures > 0) {
        // Each failure doubles the pause before the next try, up to a minute.
        uint32_t pause = kLastRetryTicks;
        if (Store.saveFailures < 8 && (kFirstRetryTicks << (Store.saveFailures - 1)) < kLastRetryTicks)
            pause = (uint32_t)kFirstRetryTicks << (Store.saveFailures - 1);
        if (QuTicksSince(Store.saveFailedTicks) < pause)
            return;
    }
    int32_t status = QuWriteEvents(false);
    if (status != 0) {
        QuSaveFailed(status);
        return;
    }
    QuNoteEventsSaved();
    Store.saveFailures = 0;
}

void QuSaveEventsAtShutdown(void)
{
    if (EventTable.handle == NULL)
        return;
    // The file is written before any event text is released.
    int32_t status = QuWriteEvents(true);
    if (status != 0)
        QuSaveFailed(status);
    QuDisposeEventTable();
}
