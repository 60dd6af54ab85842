// A stand-in for the host's automation server, loaded in-process through
// COM: an application whose "Documents" collection holds the documents a
// test set up. It checks how it is called, records every call and counts
// every reference it hands out.
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <algorithm>
#include <string>
#include <vector>

#include "test_server.h"

namespace {

const CLSID kClassId = {0x5E3A1C07, 0x9B42, 0x4D6F, {0x8A, 0x13, 0xC0, 0xF2, 0xE7, 0xB4, 0x9D, 0x61}};

enum Kind { kApplication, kCollection, kDocument };
enum Member { kDocuments = 1, kCount, kItem, kFullName, kDoFMScript };

const struct {
    Kind kind;
    Member member;
    const wchar_t *name;
    const char *text;
} kMembers[] = {
    {kApplication, kDocuments, L"Documents", "Documents"},
    {kCollection, kCount, L"Count", "Count"},
    {kCollection, kItem, L"Item", "Item"},
    {kDocument, kFullName, L"FullName", "FullName"},
    {kDocument, kDoFMScript, L"doFMScript", "doFMScript"},
};

struct Fault {
    std::string member;
    int32_t which;
    int32_t hresult;
    uint16_t type;
};

class Object;

struct State {
    std::vector<std::wstring> documents;
    bool countSet = false;
    int32_t count = 0;
    std::vector<Fault> faults;
    std::string record;
    int32_t references = 0;
    std::vector<Object *> objects; // kept for the whole run, so that an extra Release is caught
};

State &S()
{
    static State state;
    return state;
}

void Note(const std::string &line)
{
    S().record += line + "\n";
}

std::string Narrow(const wchar_t *text, size_t length)
{
    std::string out;
    for (size_t i = 0; i < length; i++) {
        if (text[i] >= 32 && text[i] < 127) {
            out += static_cast<char>(text[i]);
        } else {
            char code[16];
            wsprintfA(code, "\\u%04X", static_cast<unsigned>(text[i]));
            out += code;
        }
    }
    return out;
}

std::string Argument(const VARIANTARG &arg)
{
    if (arg.vt == VT_I4)
        return std::to_string(arg.lVal);
    if (arg.vt != VT_BSTR)
        return "vt=" + std::to_string(arg.vt);
    UINT length = SysStringLen(arg.bstrVal);
    std::string text = "\"" + Narrow(arg.bstrVal, length) + "\"";
    if (arg.bstrVal != nullptr && length != wcslen(arg.bstrVal))
        text += " (not a BSTR of its own length)";
    return text;
}

class Object : public IDispatch {
public:
    Object(Kind kind, int32_t number) : kind_(kind), number_(number) { S().objects.push_back(this); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override
    {
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch))
            return E_NOINTERFACE;
        AddRef();
        *object = static_cast<IDispatch *>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override
    {
        S().references++;
        return static_cast<ULONG>(++refs_);
    }
    ULONG STDMETHODCALLTYPE Release() override
    {
        if (refs_ == 0) {
            Note("error: " + Name() + " released once too often");
            return 0;
        }
        S().references--;
        return static_cast<ULONG>(--refs_);
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo **info) override
    {
        *info = nullptr;
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR *names, UINT count, LCID locale,
                                            DISPID *ids) override
    {
        if (!IsEqualIID(riid, IID_NULL))
            Note("error: GetIDsOfNames without IID_NULL");
        if (locale != 0x400)
            Note("error: GetIDsOfNames with locale " + std::to_string(locale));
        if (count != 1)
            Note("error: GetIDsOfNames for " + std::to_string(count) + " names");
        if (count < 1)
            return E_INVALIDARG;
        for (const auto &m : kMembers) {
            if (m.kind == kind_ && _wcsicmp(m.name, names[0]) == 0) {
                ids[0] = m.member;
                return S_OK;
            }
        }
        Note(Name() + "." + Narrow(names[0], wcslen(names[0])) + " unknown");
        ids[0] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID locale, WORD flags, DISPPARAMS *params,
                                     VARIANT *result, EXCEPINFO *exception, UINT *argumentError) override
    {
        const char *member = nullptr;
        for (const auto &m : kMembers) {
            if (m.kind == kind_ && m.member == id)
                member = m.text;
        }
        if (member == nullptr) {
            Note("error: " + Name() + " invoked with unknown id " + std::to_string(id));
            return DISP_E_MEMBERNOTFOUND;
        }
        std::string line = Name() + "." + member;
        line += flags == DISPATCH_PROPERTYGET ? " get"
                : flags == DISPATCH_METHOD    ? " method"
                                              : " flags=" + std::to_string(flags);
        // Arguments arrive last to first.
        for (UINT i = params->cArgs; i > 0; i--)
            line += " " + Argument(params->rgvarg[i - 1]);
        Note(line);
        if (!IsEqualIID(riid, IID_NULL))
            Note("error: Invoke without IID_NULL");
        if (locale != 0x400)
            Note("error: Invoke with locale " + std::to_string(locale));
        if (params->cNamedArgs != 0)
            Note("error: Invoke with named arguments");
        if (exception != nullptr)
            Note("error: Invoke asking for exception information");
        if (argumentError == nullptr)
            Note("error: Invoke without an argument-error index");
        if (result == nullptr) {
            Note("error: Invoke without a result variant");
            return E_INVALIDARG;
        }
        if (result->vt != VT_EMPTY)
            Note("error: result variant not empty");
        int32_t which = number_;
        if (id == kItem && params->cArgs == 1 && params->rgvarg[0].vt == VT_I4)
            which = params->rgvarg[0].lVal;
        for (const Fault &f : S().faults) {
            if (f.member == member && (f.which == 0 || f.which == which)) {
                if (f.hresult != 0)
                    return f.hresult;
                return Wrong(f.type, result);
            }
        }
        return Answer(static_cast<Member>(id), params, result);
    }

private:
    std::string Name() const
    {
        switch (kind_) {
        case kApplication:
            return "app";
        case kCollection:
            return "docs";
        default:
            return "doc" + std::to_string(number_);
        }
    }

    static HRESULT Hand(VARIANT *result, Object *object)
    {
        object->AddRef();
        result->vt = VT_DISPATCH;
        result->pdispVal = object;
        return S_OK;
    }

    HRESULT Answer(Member id, DISPPARAMS *params, VARIANT *result)
    {
        const int32_t documents = static_cast<int32_t>(S().documents.size());
        switch (id) {
        case kDocuments:
            return Hand(result, new Object(kCollection, 0));
        case kCount:
            result->vt = VT_I4;
            result->lVal = S().countSet ? S().count : documents;
            return S_OK;
        case kItem: {
            if (params->cArgs != 1)
                return DISP_E_BADPARAMCOUNT;
            if (params->rgvarg[0].vt != VT_I4)
                return DISP_E_TYPEMISMATCH;
            int32_t index = params->rgvarg[0].lVal;
            if (index < 1 || index > documents)
                return DISP_E_BADINDEX;
            return Hand(result, new Object(kDocument, index));
        }
        case kFullName:
            if (number_ < 1 || number_ > documents)
                return E_FAIL;
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocString(S().documents[static_cast<size_t>(number_ - 1)].c_str());
            return S_OK;
        case kDoFMScript:
            if (params->cArgs != 1)
                return DISP_E_BADPARAMCOUNT;
            return params->rgvarg[0].vt == VT_BSTR ? S_OK : DISP_E_TYPEMISMATCH;
        }
        return DISP_E_MEMBERNOTFOUND;
    }

    // A value of a type the caller did not ask for.
    static HRESULT Wrong(uint16_t type, VARIANT *result)
    {
        switch (type) {
        case VT_I4:
            result->vt = VT_I4;
            result->lVal = 7;
            return S_OK;
        case VT_BSTR:
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocString(L"wrong");
            return S_OK;
        case VT_DISPATCH:
            return Hand(result, new Object(kApplication, 0));
        case VT_UNKNOWN: {
            Object *object = new Object(kApplication, 0);
            object->AddRef();
            result->vt = VT_UNKNOWN;
            result->punkVal = object;
            return S_OK;
        }
        case kTestServerNothing:
            result->vt = VT_DISPATCH;
            result->pdispVal = nullptr;
            return S_OK;
        }
        return E_UNEXPECTED;
    }

    Kind kind_;
    int32_t number_;
    int32_t refs_ = 0;
};

class Factory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override
    {
        *object = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory))
            return E_NOINTERFACE;
        *object = static_cast<IClassFactory *>(this);
        return S_OK;
    }
    // Lives as long as the module: nothing to count.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID riid, void **object) override
    {
        *object = nullptr;
        Note(IsEqualIID(riid, IID_IUnknown) ? "create" : "create, not asking for IUnknown");
        if (outer != nullptr)
            return CLASS_E_NOAGGREGATION;
        return (new Object(kApplication, 0))->QueryInterface(riid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory TheFactory;

} // namespace

extern "C" {

HRESULT WINAPI DllGetClassObject(REFCLSID classId, REFIID riid, void **object)
{
    *object = nullptr;
    if (!IsEqualCLSID(classId, kClassId))
        return CLASS_E_CLASSNOTAVAILABLE;
    return TheFactory.QueryInterface(riid, object);
}

// The tests read the record after OLE has stopped.
HRESULT WINAPI DllCanUnloadNow(void)
{
    return S_FALSE;
}

void TestServerReset(void)
{
    State &s = S();
    s.documents.clear();
    s.countSet = false;
    s.faults.clear();
    s.record.clear();
}

void TestServerAddDocument(const wchar_t *fullName)
{
    S().documents.push_back(fullName);
}

void TestServerSetCount(int32_t count)
{
    S().countSet = true;
    S().count = count;
}

void TestServerAddFault(const char *member, int32_t which, int32_t hresult, uint16_t type)
{
    S().faults.push_back({member, which, hresult, type});
}

int32_t TestServerRecord(char *buffer, int32_t capacity)
{
    const std::string &record = S().record;
    if (capacity > 0) {
        size_t n = std::min(record.size(), static_cast<size_t>(capacity - 1));
        memcpy(buffer, record.data(), n);
        buffer[n] = 0;
    }
    return static_cast<int32_t>(record.size());
}

int32_t TestServerReferences(void)
{
    return S().references;
}

} // extern "C"
