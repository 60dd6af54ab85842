// The automation seam on Windows: OLE, the host's automation server reached
// through IDispatch, and the BSTR texts that cross to it.
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include "os_automation.h"

static const LCID kLocale = 0x400; // LOCALE_USER_DEFAULT
// The script name crosses as at most 499 wide characters and a terminator.
enum { kScriptWideChars = 500 };

int32_t QuOsOleInitialize(void)
{
    return (int32_t)OleInitialize(NULL);
}

void QuOsOleUninitialize(void)
{
    OleUninitialize();
}

int32_t QuOsCreateApplication(QuOsAutomationObject *application)
{
    *application = NULL;
    CLSID classId;
    HRESULT hr = CLSIDFromProgID(L"FMPro.Application", &classId);
    if (FAILED(hr))
        return (int32_t)hr;
    IUnknown *unknown = NULL;
    hr = CoCreateInstance(classId, NULL, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IUnknown,
                          (void **)&unknown);
    if (FAILED(hr))
        return (int32_t)hr;
    IDispatch *dispatch = NULL;
    hr = unknown->QueryInterface(IID_IDispatch, (void **)&dispatch);
    unknown->Release();
    if (FAILED(hr))
        return (int32_t)hr;
    *application = dispatch;
    return (int32_t)hr;
}

void QuOsReleaseObject(QuOsAutomationObject object)
{
    if (object != NULL)
        ((IDispatch *)object)->Release();
}

// One property get or method call by name. `result` is empty unless the
// call succeeded.
static HRESULT QuInvoke(QuOsAutomationObject object, const wchar_t *name, WORD kind, VARIANTARG *argument,
                        VARIANT *result)
{
    VariantInit(result);
    IDispatch *dispatch = (IDispatch *)object;
    LPOLESTR names[1] = {(LPOLESTR)name};
    DISPID id = 0;
    HRESULT hr = dispatch->GetIDsOfNames(IID_NULL, names, 1, kLocale, &id);
    if (FAILED(hr))
        return hr;
    DISPPARAMS parameters = {argument, NULL, argument != NULL ? 1u : 0u, 0};
    UINT argumentError = 0;
    hr = dispatch->Invoke(id, IID_NULL, kLocale, kind, &parameters, result, NULL, &argumentError);
    // Whatever a failing server left in the result is not ours to keep.
    if (FAILED(hr))
        VariantClear(result);
    return hr;
}

// The result must be of `type`; anything else is released.
static HRESULT QuExpectType(HRESULT hr, VARIANT *result, VARTYPE type)
{
    if (FAILED(hr) || result->vt == type)
        return hr;
    VariantClear(result);
    return E_INVALIDARG;
}

int32_t QuOsGetObjectProperty(QuOsAutomationObject object, const wchar_t *name, const int32_t *index,
                              QuOsAutomationObject *value)
{
    *value = NULL;
    VARIANTARG argument;
    VariantInit(&argument);
    if (index != NULL) {
        argument.vt = VT_I4;
        argument.lVal = *index;
    }
    VARIANT result;
    HRESULT hr = QuInvoke(object, name, DISPATCH_PROPERTYGET, index != NULL ? &argument : NULL, &result);
    hr = QuExpectType(hr, &result, VT_DISPATCH);
    if (FAILED(hr))
        return (int32_t)hr;
    // A property may be Nothing; there is no object to go on with.
    if (result.pdispVal == NULL)
        return (int32_t)E_INVALIDARG;
    *value = result.pdispVal; // its reference passes to the caller
    return (int32_t)hr;
}

int32_t QuOsGetNumberProperty(QuOsAutomationObject object, const wchar_t *name, int32_t *value)
{
    *value = 0;
    VARIANT result;
    HRESULT hr = QuExpectType(QuInvoke(object, name, DISPATCH_PROPERTYGET, NULL, &result), &result, VT_I4);
    if (FAILED(hr))
        return (int32_t)hr;
    *value = result.lVal;
    return (int32_t)hr;
}

int32_t QuOsGetTextProperty(QuOsAutomationObject object, const wchar_t *name, QuOsAutomationText *value)
{
    *value = NULL;
    VARIANT result;
    HRESULT hr = QuExpectType(QuInvoke(object, name, DISPATCH_PROPERTYGET, NULL, &result), &result, VT_BSTR);
    if (FAILED(hr))
        return (int32_t)hr;
    // The caller keeps a copy; the server's string goes back at once.
    *value = SysAllocString(result.bstrVal);
    VariantClear(&result);
    return (int32_t)hr;
}

void QuOsFreeText(QuOsAutomationText text)
{
    SysFreeString((BSTR)text);
}

int32_t QuOsTextToMultibyte(QuOsAutomationText text, char *buffer, int32_t capacity)
{
    if (WideCharToMultiByte(CP_OEMCP, 0, (LPCWSTR)text, -1, buffer, capacity, NULL, NULL) > 0)
        return 0;
    DWORD error = GetLastError();
    if (capacity > 0)
        buffer[0] = 0;
    // A failure must stop the document search even without a reason given.
    return error != 0 ? (int32_t)error : kWinInvalidParameter;
}

int32_t QuOsCallWithText(QuOsAutomationObject object, const wchar_t *name, const char *text)
{
    WCHAR wide[kScriptWideChars] = {0};
    // A failed conversion may have filled the buffer without a terminator.
    if (MultiByteToWideChar(CP_OEMCP, MB_PRECOMPOSED, text, -1, wide, kScriptWideChars) == 0)
        wide[0] = 0;
    VARIANTARG argument;
    VariantInit(&argument);
    argument.vt = VT_BSTR;
    argument.bstrVal = SysAllocString(wide);
    if (argument.bstrVal == NULL)
        return (int32_t)E_OUTOFMEMORY;
    VARIANT result;
    HRESULT hr = QuInvoke(object, name, DISPATCH_METHOD, &argument, &result);
    VariantClear(&result);
    SysFreeString(argument.bstrVal);
    return (int32_t)hr;
}
