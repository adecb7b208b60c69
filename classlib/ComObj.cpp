#include "ComObj.h"

#include "Controls.h"

#include <vector>

void OleError(HRESULT result)
{
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, static_cast<DWORD>(result), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message;
    if (n > 0 && text != nullptr) {
        std::wstring w(text, n);
        while (!w.empty() && (w.back() == L'\r' || w.back() == L'\n' || w.back() == L' ' || w.back() == L'.')) {
            w.pop_back();
        }
        message = FromWide(w);
    }
    if (text != nullptr) {
        LocalFree(text);
    }
    if (message.empty()) {
        message = Format("OLE error %.8X", static_cast<unsigned>(result));
    }
    throw EOleSysError(message, result);
}

void OleCheck(HRESULT result)
{
    if (FAILED(result)) {
        OleError(result);
    }
}

int TOleVariant::AsInteger() const
{
    VARIANT v;
    VariantInit(&v);
    OleCheck(VariantChangeType(&v, const_cast<VARIANT*>(&FValue), 0, VT_I4));
    return V_I4(&v);
}

bool TOleVariant::AsBool() const
{
    VARIANT v;
    VariantInit(&v);
    OleCheck(VariantChangeType(&v, const_cast<VARIANT*>(&FValue), 0, VT_BOOL));
    return V_BOOL(&v) != VARIANT_FALSE;
}

std::wstring TOleVariant::AsWide() const
{
    if (V_VT(&FValue) == VT_EMPTY || V_VT(&FValue) == VT_NULL) {
        return {};
    }
    VARIANT v;
    VariantInit(&v);
    OleCheck(VariantChangeType(&v, const_cast<VARIANT*>(&FValue), 0, VT_BSTR));
    std::wstring out = FromBstr(V_BSTR(&v));
    VariantClear(&v);
    return out;
}

TComPtr<IDispatch> TOleVariant::AsDispatch() const
{
    IUnknown* unknown = nullptr;
    if (V_VT(&FValue) == VT_DISPATCH) {
        unknown = V_DISPATCH(&FValue);
    } else if (V_VT(&FValue) == VT_UNKNOWN) {
        unknown = V_UNKNOWN(&FValue);
    } else if (V_VT(&FValue) == (VT_DISPATCH | VT_BYREF) && V_DISPATCHREF(&FValue) != nullptr) {
        unknown = *V_DISPATCHREF(&FValue);
    }
    TComPtr<IDispatch> r;
    if (unknown != nullptr) {
        unknown->QueryInterface(IID_IDispatch, r.PutVoid());
    }
    return r;
}

BSTR ToBstr(const std::wstring& text) { return SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); }

std::wstring FromBstr(BSTR text)
{
    if (text == nullptr) {
        return {};
    }
    return std::wstring(text, SysStringLen(text));
}

TOleVariant InvokeDispatch(IDispatch* object, DISPID id, WORD flags, VARIANT* args, UINT count)
{
    if (object == nullptr) {
        OleError(E_POINTER);
    }
    // DISPPARAMS wants the arguments last first.
    std::vector<VARIANT> reversed(args, args + count);
    for (UINT i = 0; i < count / 2; ++i) {
        std::swap(reversed[i], reversed[count - 1 - i]);
    }
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), nullptr, count, 0};
    if ((flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0) {
        params.rgdispidNamedArgs = &named;
        params.cNamedArgs = 1;
    }
    TOleVariant result;
    EXCEPINFO info{};
    UINT argError = 0;
    const HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result.Ptr(), &info, &argError);
    if (hr == DISP_E_EXCEPTION) {
        if (info.pfnDeferredFillIn != nullptr) {
            info.pfnDeferredFillIn(&info);
        }
        const std::string message = FromWide(FromBstr(info.bstrDescription));
        const std::string source = FromWide(FromBstr(info.bstrSource));
        const HRESULT code = info.scode != 0 ? info.scode : hr;
        const int help = static_cast<int>(info.dwHelpContext);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrHelpFile);
        throw EOleException(message, code, source, help);
    }
    OleCheck(hr);
    return result;
}

TOleVariant GetDispatchProperty(IDispatch* object, DISPID id)
{
    return InvokeDispatch(object, id, DISPATCH_PROPERTYGET | DISPATCH_METHOD, nullptr, 0);
}

void SetDispatchProperty(IDispatch* object, DISPID id, const TOleVariant& value)
{
    VARIANT arg = value.Value();   // shallow: Invoke does not take ownership
    InvokeDispatch(object, id, DISPATCH_PROPERTYPUT, &arg, 1);
}
