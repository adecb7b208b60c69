// A small automation object for tests: named properties with values (objects or texts), found
// by GetIDsOfNames and read by Invoke, and optionally one more interface id it claims to have
// (e.g. a document's), answered with its IDispatch. With browserService set it is also a
// service provider that answers the web-browser service (a document's browser) with it.
#pragma once

#include "classlib/ComObj.h"

#include <string>
#include <utility>
#include <vector>

class FakeDispatch final : public IDispatch,
                           public IOleCommandTarget,
                           public IPersistStreamInit,
                           public IServiceProvider {
public:
    explicit FakeDispatch(const IID* extra = nullptr) : FExtra(extra) {}

    void Set(const std::wstring& name, TOleVariant value)
    {
        for (auto& p : FProps) {
            if (p.first == name) {
                p.second = std::move(value);
                return;
            }
        }
        FProps.emplace_back(name, std::move(value));
    }

    // Commands received through IOleCommandTarget, and the answers it gives (by command).
    struct Exec {
        DWORD command;
        DWORD option;
        TOleVariant in;
    };
    std::vector<Exec> execs;
    std::vector<std::pair<DWORD, TOleVariant>> answers;   // command -> out value
    bool commandTarget = false;
    // Loading from a stream (a document's IPersistStreamInit): what was read.
    bool persist = false;
    std::string loaded;
    // The browser object QueryService(SID_SWebBrowserApp) answers; null: no service provider.
    IUnknown* browserService = nullptr;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
            (FExtra != nullptr && IsEqualIID(iid, *FExtra))) {
            *object = static_cast<IDispatch*>(this);
        } else if (commandTarget && IsEqualIID(iid, IID_IOleCommandTarget)) {
            *object = static_cast<IOleCommandTarget*>(this);
        } else if (persist && IsEqualIID(iid, IID_IPersistStreamInit)) {
            *object = static_cast<IPersistStreamInit*>(this);
        } else if (browserService != nullptr && IsEqualIID(iid, IID_IServiceProvider)) {
            *object = static_cast<IServiceProvider*>(this);
        }
        if (*object == nullptr) {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++FRefs; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG n = --FRefs;
        if (n == 0) {
            delete this;
        }
        return n;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override
    {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            for (size_t k = 0; k < FProps.size(); ++k) {
                if (FProps[k].first == names[i]) {
                    ids[i] = static_cast<DISPID>(k + 1);
                }
            }
            if (ids[i] == DISPID_UNKNOWN) {
                return DISP_E_UNKNOWNNAME;
            }
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                     UINT*) override
    {
        if (id < 1 || static_cast<size_t>(id) > FProps.size()) {
            return DISP_E_MEMBERNOTFOUND;
        }
        if (result != nullptr) {
            VariantCopy(result, &FProps[static_cast<size_t>(id - 1)].second.Value());
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Exec(const GUID*, DWORD command, DWORD option, VARIANT* in, VARIANT* out) override
    {
        execs.push_back({command, option, in != nullptr ? TOleVariant(*in) : TOleVariant()});
        for (auto& [c, value] : answers) {
            if (c == command) {
                if (out != nullptr) {
                    VariantCopy(out, &value.Value());
                }
                return S_OK;
            }
        }
        return OLECMDERR_E_NOTSUPPORTED;
    }

    HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID iid, void** object) override
    {
        static const GUID kWebBrowserApp = {0x0002DF05, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
        *object = nullptr;
        if (browserService == nullptr || !IsEqualGUID(service, kWebBrowserApp)) {
            return E_NOINTERFACE;
        }
        return browserService->QueryInterface(iid, object);
    }

    HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Load(LPSTREAM stream) override
    {
        // Reads to the end in small pieces and checks the size the stream reports.
        loaded.clear();
        char buffer[7];
        ULONG n = 0;
        while (SUCCEEDED(stream->Read(buffer, sizeof buffer, &n)) && n > 0) {
            loaded.append(buffer, n);
        }
        STATSTG stat{};
        stream->Stat(&stat, STATFLAG_NONAME);
        if (stat.cbSize.QuadPart != loaded.size()) {
            return E_FAIL;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Save(LPSTREAM, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InitNew() override { return S_OK; }

private:
    ~FakeDispatch() = default;
    const IID* FExtra;
    ULONG FRefs = 1;
    std::vector<std::pair<std::wstring, TOleVariant>> FProps;
};
