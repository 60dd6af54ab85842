// The automation seam where there is no OLE: it answers as a Windows
// machine on which the host's automation server is not installed. OLE
// starts, the application object cannot be created, and so no object is
// ever handed to the calls below; they answer as for an unusable one.
#include "os_automation.h"

int32_t QuOsOleInitialize(void)
{
    return kOsOk;
}

void QuOsOleUninitialize(void)
{
}

int32_t QuOsCreateApplication(QuOsAutomationObject *application)
{
    *application = NULL;
    return kOsNoSuchProgId;
}

void QuOsReleaseObject(QuOsAutomationObject)
{
}

int32_t QuOsGetObjectProperty(QuOsAutomationObject, const wchar_t *, const int32_t *,
                              QuOsAutomationObject *value)
{
    *value = NULL;
    return kOsUnexpected;
}

int32_t QuOsGetNumberProperty(QuOsAutomationObject, const wchar_t *, int32_t *value)
{
    *value = 0;
    return kOsUnexpected;
}

int32_t QuOsGetTextProperty(QuOsAutomationObject, const wchar_t *, QuOsAutomationText *value)
{
    *value = NULL;
    return kOsUnexpected;
}

void QuOsFreeText(QuOsAutomationText)
{
}

int32_t QuOsTextToMultibyte(QuOsAutomationText, char *buffer, int32_t capacity)
{
    if (capacity > 0)
        buffer[0] = 0;
    return kWinInvalidParameter;
}

int32_t QuOsCallWithText(QuOsAutomationObject, const wchar_t *, const char *)
{
    return kOsUnexpected;
}
