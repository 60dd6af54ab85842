// Every status code of the plug-in, in one place, and the platform's
// numbers that it names. A function's ErrorResult is "$$" and one of these;
// the README's tables of codes are checked against this file.
#ifndef ROUSER_ERRORS_H
#define ROUSER_ERRORS_H

#include <stdint.h>

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
    kErrOleNotStarted = -28,   // inside: OLE cannot start
    kErrBadName = -37,         // a path cannot be built or does not fit
    kErrEndOfFile = -39,       // a file ended before the count
    kErrFileNotFound = -43,    // no such file; the system gives no program path
    kErrAccessDenied = -47,    // the system refuses the file
    kErrFileExists = -48,      // the name is taken
    kErrBadParameter = -50,    // a parameter is missing, unknown or out of range; no table
    kErrNothingReceived = -71, // the server closed without answering
    kErrMemory = -108,         // the host reported a memory error
    kErrNoHandle = -109,       // inside: a handle that must exist is missing
    kErrLock = -117,           // the host cannot lock a handle
    kErrFolderNotFound = -120, // the folder of a path does not exist
    kErrTooLong = -207,        // a text does not fit its buffer
    kErrLockTextLength = -416, // a lock text of fewer than 3 or more than 64 characters
    kErrHostNotFound = -3170,  // inside: a file layer's name lookup failed
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
    // The server ended the connection before the answer was whole: its
    // Content-Length or chunked framing is incomplete, or a TLS record was
    // cut in the middle.
    kErrAnswerCut = -4237,
    // TLS, one code per thing a user can act on.
    kErrTlsUntrusted = -4240,    // the server's certificate does not lead to a trusted root
    kErrTlsNameMismatch = -4241, // the certificate is for another name or address
    kErrTlsExpired = -4242,      // the certificate has expired or is not yet valid
    kErrTlsHandshake = -4243,    // no TLS connection: no common protocol, not a TLS server, an alert
    // Sealed remote events: the system lacks AES-GCM or PBKDF2 (Windows
    // before 7), or its cryptography failed.
    kErrNoCryptography = -4250,
    // Due times: a date and time after the window of stored due times,
    // 7 February 2136 06:28:14; schedule it nearer or repeating instead.
    kErrBeyondTimeWindow = -4260,
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
    kWinGenFailure = 31, // a device attached to the system is not functioning
    kWinSharingViolation = 32,
    kWinHandleEOF = 38,
    kWinFileExists = 80,
    kWinInvalidParameter = 87,
    kWinDiskFull = 112,
    kWinDirNotEmpty = 145,
    kWinAlreadyExists = 183,
    kWinProcNotFound = 127, // a system DLL lacks an entry point (BCrypt before Windows 7)
    kWinBadPathName = 206,
    kWinFileTooLarge = 223,
    kWinMoreData = 234,
    kWinBadKey = 1010, // the configuration registry key is invalid
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

// Windows security numbers (SECURITY_STATUS and certificate trust results),
// which the TLS seams report on every platform. As 32-bit signed values
// they are negative, apart from the handshake's "not done yet" numbers.
enum QuSecurityError : int32_t {
    kSecContinueNeeded = 0x00090312,
    kSecIncompleteCredentials = 0x00090320,
    kSecContextExpired = 0x00090317, // the peer ended the session
    kSecRenegotiate = 0x00090321,
    kSecUnsupportedFunction = static_cast<int32_t>(0x80090302u), // a renegotiation, refused
    kSecInternalError = static_cast<int32_t>(0x80090304u),
    kSecIncompleteMessage = static_cast<int32_t>(0x80090318u),
    kSecIllegalMessage = static_cast<int32_t>(0x80090326u),    // not a TLS server, or a broken message
    kSecAlgorithmMismatch = static_cast<int32_t>(0x80090331u), // no common protocol or cipher
    kSecDecryptFailure = static_cast<int32_t>(0x80090330u),
    kCertExpired = static_cast<int32_t>(0x800B0101u),         // CERT_E_EXPIRED
    kCertValidityNesting = static_cast<int32_t>(0x800B0102u), // CERT_E_VALIDITYPERIODNESTING
    kCertUntrustedRoot = static_cast<int32_t>(0x800B0109u),   // CERT_E_UNTRUSTEDROOT
    kCertChaining = static_cast<int32_t>(0x800B010Au),        // CERT_E_CHAINING
    kCertRevoked = static_cast<int32_t>(0x800B010Cu),         // CERT_E_REVOKED
    kCertNameMismatch = static_cast<int32_t>(0x800B010Fu),    // CERT_E_CN_NO_MATCH
    kCertWrongUsage = static_cast<int32_t>(0x800B0110u),      // CERT_E_WRONG_USAGE
    kCertBadSignature = static_cast<int32_t>(0x80096004u)     // TRUST_E_CERT_SIGNATURE
};

// NTSTATUS values of Windows' cryptography (BCrypt), which the sealing's
// seams report on every platform.
enum QuCryptoError : int32_t {
    kNtUnsuccessful = static_cast<int32_t>(0xC0000001u),
    kNtInvalidParameter = static_cast<int32_t>(0xC000000Du),
    kNtNoMemory = static_cast<int32_t>(0xC0000017u),
    kNtNotSupported = static_cast<int32_t>(0xC00000BBu),
    kNtAuthTagMismatch = static_cast<int32_t>(0xC000A002u) // the seal does not open
};

#endif
