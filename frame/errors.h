// Every status code of the plug-in, in one place, and the platform's
// numbers that it names. A function's ErrorResult is "$$" and one of these;
// the README's tables of codes are checked against this file.
#ifndef ROUSER_ERRORS_H
#define ROUSER_ERRORS_H

// The plug-in's own codes: small ones in the host's heritage, four-digit
// ones of its own. Each code has one name; where it serves several
// subsystems the comment says each meaning. "Inside" marks a code that no
// function answers and no message shows; every other code is in the
// README's or the function reference's tables.
enum QuError {
    kOk = 0,
    // No pending event is due; no event matches a selection; the host's
    // text library or one of its exports is missing.
    kErrNotFound = -1,
    kErrOleNotStarted = -28,    // inside: OLE cannot start
    kErrBadName = -37,          // a path cannot be built or does not fit
    kErrEndOfFile = -39,        // a file ended before the count
    kErrFileNotFound = -43,     // no such file; the system gives no program path
    kErrAccessDenied = -47,     // the system refuses the file
    kErrFileExists = -48,       // the name is taken
    kErrBadParameter = -50,     // a parameter is missing, unknown or out of range; no table
    kErrNothingReceived = -71,  // the server closed without answering
    kErrMemory = -108,          // the host reported a memory error
    kErrNoHandle = -109,        // inside: a handle that must exist is missing
    kErrLock = -117,            // the host cannot lock a handle
    kErrFolderNotFound = -120,  // the folder of a path does not exist
    kErrTooLong = -207,         // a text does not fit its buffer
    kErrLockTextLength = -416,  // a lock text of fewer than 3 or more than 64 characters
    kErrHostNotFound = -3170,   // inside: a file layer's name lookup failed
    kErrAlreadyDisabled = -4217,
    kErrNotDisabled = -4218,
    kErrWrongLockText = -4219,
    kErrTriggersDisabled = -4220, // answered as a plain number by Rous-ScheduleEvent
    kErrNoWait = -4221,           // the platform provides no wait
    kErrTableFull = -4223,
    kErrFileDamaged = -4224,
    // The host refused to perform the script; a connection failed without
    // an error code of its own.
    kErrFailed = -4225,
    kErrInThePast = -4226,
    kErrListenerOpen = -4227,
    kErrOutOfRange = -4228,     // an option's value is out of range
    kErrTimedOut = -4230,       // the deadline passed
    kErrFileNotOpen = -4232,    // inside: the host has no open file of that name
    kErrScriptNotFound = -4233, // inside: the file has no script of that name
    kErrTooDeep = -4234,        // inside: more than 5 direct script starts nested
    kErrChunkLineTooLong = -4236,
    kErrNoTable = -4301 // inside: the selection finds no table
};

// Windows numbers, on every platform: the system errors and the Windows
// Sockets errors that the plug-in maps, tests for or reports, and that the
// POSIX seams produce in their place.
enum QuPlatformError {
    kWinFileNotFound = 2,
    kWinPathNotFound = 3,
    kWinTooManyOpenFiles = 4,
    kWinAccessDenied = 5,
    kWinInvalidHandle = 6,
    kWinNotEnoughMemory = 8,
    kWinNotSameDevice = 17,
    kWinWriteProtect = 19,
    kWinGenFailure = 31,        // a device attached to the system is not functioning
    kWinSharingViolation = 32,
    kWinHandleEOF = 38,
    kWinFileExists = 80,
    kWinInvalidParameter = 87,
    kWinDiskFull = 112,
    kWinDirNotEmpty = 145,
    kWinAlreadyExists = 183,
    kWinBadPathName = 206,
    kWinFileTooLarge = 223,
    kWinMoreData = 234,
    kWinIoDevice = 1117,
    kWinInternetTimeout = 12002,

    kWsaInterrupted = 10004,
    kWsaBadDescriptor = 10009,
    kWsaAccess = 10013,
    kWsaFault = 10014,
    kWsaInvalid = 10022,
    kWsaTooManySockets = 10024,
    kWsaWouldBlock = 10035,
    kWsaAlready = 10037,
    kWsaNotSocket = 10038,
    kWsaNoDestination = 10039,
    kWsaMessageSize = 10040,
    kWsaProtocolType = 10041,
    kWsaNoProtocolOption = 10042,
    kWsaProtocolNotSupported = 10043,
    kWsaSocketTypeNotSupported = 10044,
    kWsaOperationNotSupported = 10045,
    kWsaFamilyNotSupported = 10046,
    kWsaAddressFamily = 10047,
    kWsaAddressInUse = 10048,
    kWsaAddressNotAvailable = 10049,
    kWsaNetworkDown = 10050,
    kWsaNetworkUnreachable = 10051,
    kWsaNetworkReset = 10052,
    kWsaConnectionAborted = 10053,
    kWsaConnectionReset = 10054,
    kWsaNoBuffers = 10055,
    kWsaConnected = 10056,
    kWsaNotConnected = 10057,
    kWsaShutDown = 10058,
    kWsaTimedOut = 10060,
    kWsaRefused = 10061,
    kWsaNameTooLong = 10063,
    kWsaHostDown = 10064,
    kWsaHostUnreachable = 10065,
    kWsaVersionNotSupported = 10092,
    kWsaSystemCallFailure = 10107,
    kWsaHostNotFound = 11001,
    kWsaTryAgain = 11002,
    kWsaNoRecovery = 11003,
    kWsaNoData = 11004
};

#endif
