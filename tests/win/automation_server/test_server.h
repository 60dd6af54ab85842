// The test automation server's side door: what the tests configure and read
// back. The plug-in never uses it; it reaches the server only through
// CoCreateInstance of "FMPro.Application".
#ifndef ROUSER_TEST_SERVER_H
#define ROUSER_TEST_SERVER_H

#include <stdint.h>

#define TEST_SERVER_CLSID "{5E3A1C07-9B42-4D6F-8A13-C0F2E7B49D61}"
#define TEST_SERVER_DLL "RouserTestServer.dll"

// A result type no server sends: a VT_DISPATCH holding no object.
enum { kTestServerNothing = 0x7FFF };

extern "C" {
// Forgets the documents, faults and record; objects still held stay counted.
typedef void (*TestServerResetProc)(void);
typedef void (*TestServerAddDocumentProc)(const wchar_t *fullName);
// Count answers this instead of the number of documents.
typedef void (*TestServerSetCountProc)(int32_t count);
// Member ("Documents", "Count", "Item", "FullName", "doFMScript") fails with
// `hresult` or, when it is 0, answers a value of `type` instead. `which` is
// the Item index or the document's number, 0 for every call.
typedef void (*TestServerAddFaultProc)(const char *member, int32_t which, int32_t hresult, uint16_t type);
// One line a call ("docs.Item get 2"), and lines starting "error:" for
// calls that break the automation rules. Returns the full length.
typedef int32_t (*TestServerRecordProc)(char *buffer, int32_t capacity);
// References held on the objects handed out.
typedef int32_t (*TestServerReferencesProc)(void);
}

#endif
