// Operating-system seam of the automation start: OLE start and stop, the
// host's application object, and property gets and method calls by name.
// Every status is an HRESULT as a signed number, except the conversion's,
// which is a system error number.
#ifndef ROUSER_OS_AUTOMATION_H
#define ROUSER_OS_AUTOMATION_H

#include <stddef.h>
#include <stdint.h>

#include "frame/errors.h"

// An automation object's dispatch interface, holding one reference.
typedef void *QuOsAutomationObject;
// A wide text owned by the automation system (a BSTR on Windows).
typedef void *QuOsAutomationText;

enum {
    kOsOk = 0,
    kOsFalse = 1 // success that did nothing new, such as OLE already started
};
// What Windows answers for a ProgID that nothing has registered: the host's
// automation server is not installed.
const int32_t kOsNoSuchProgId = (int32_t)0x800401F3u; // CO_E_CLASSSTRING
const int32_t kOsUnexpected = (int32_t)0x8000FFFFu;

int32_t QuOsOleInitialize(void);
void QuOsOleUninitialize(void);

// Creates a fresh application object of "FMPro.Application"; null on failure.
int32_t QuOsCreateApplication(QuOsAutomationObject *application);
void QuOsReleaseObject(QuOsAutomationObject object);

// Property gets by name, with no argument or, when `index` is not null, one
// 32-bit number. A result of another type than asked for is released and
// gives E_INVALIDARG; outputs are null or 0 on every failure.
int32_t QuOsGetObjectProperty(QuOsAutomationObject object, const wchar_t *name, const int32_t *index,
                              QuOsAutomationObject *value);
int32_t QuOsGetNumberProperty(QuOsAutomationObject object, const wchar_t *name, int32_t *value);
int32_t QuOsGetTextProperty(QuOsAutomationObject object, const wchar_t *name, QuOsAutomationText *value);
void QuOsFreeText(QuOsAutomationText text);
// The text in the OEM code page, terminated. 0, or the system error of the
// conversion (never 0 when it failed); a null text cannot be converted.
int32_t QuOsTextToMultibyte(QuOsAutomationText text, char *buffer, int32_t capacity);

// Calls a method with one text argument converted from the OEM code page;
// a text that does not convert into 499 wide characters is sent empty. The
// method's result is not looked at.
int32_t QuOsCallWithText(QuOsAutomationObject object, const wchar_t *name, const char *text);

#endif
