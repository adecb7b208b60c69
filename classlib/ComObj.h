// COM helpers of the class layer (Windows builds only).
//
// TComPtr<T> holds one reference to an interface and releases it. TOleVariant owns a VARIANT
// (cleared on destruction, deep-copied on copy). OleCheck turns a failing result code into
// EOleSysError; calls made through IDispatch report EOleException with the control's own
// exception record. An interface that an object does not have raises EIntfCastError.
//
// COM entry points of the class layer never let an exception out: each one runs its body
// through ComGuard, which answers E_UNEXPECTED for anything thrown (or a result the body
// chooses for class-layer exceptions).
#pragma once

#include "SysUtils.h"

#include <objbase.h>
#include <oaidl.h>
#include <oleauto.h>

#include <string>
#include <utility>

CL_DECLARE_EXCEPTION(EOleError, Exception)
CL_DECLARE_EXCEPTION(EIntfCastError, Exception)

class EOleSysError : public EOleError {
public:
    EOleSysError(const std::string& message, HRESULT errorCode) : EOleError(message), FErrorCode(errorCode) {}
    HRESULT ErrorCode() const { return FErrorCode; }
    CL_CLASS_NAME(EOleSysError)

private:
    HRESULT FErrorCode;
};

class EOleException : public EOleSysError {
public:
    EOleException(const std::string& message, HRESULT errorCode, std::string source, int helpContext)
        : EOleSysError(message, errorCode), FSource(std::move(source)), FHelpContext(helpContext)
    {
    }
    const std::string& Source() const { return FSource; }
    int HelpContext() const { return FHelpContext; }
    CL_CLASS_NAME(EOleException)

private:
    std::string FSource;
    int FHelpContext;
};

// Raises EOleSysError for a failing result (the system's text for the code, else "OLE error
// XXXXXXXX").
void OleCheck(HRESULT result);
[[noreturn]] void OleError(HRESULT result);

template <class T>
class TComPtr {
public:
    TComPtr() = default;
    TComPtr(std::nullptr_t) {}
    // Takes a new reference to p.
    explicit TComPtr(T* p) : FPtr(p)
    {
        if (FPtr != nullptr) {
            FPtr->AddRef();
        }
    }
    TComPtr(const TComPtr& other) : TComPtr(other.FPtr) {}
    TComPtr(TComPtr&& other) noexcept : FPtr(std::exchange(other.FPtr, nullptr)) {}
    TComPtr& operator=(TComPtr other) noexcept
    {
        std::swap(FPtr, other.FPtr);
        return *this;
    }
    ~TComPtr() { Reset(); }

    // Adopts a reference the caller already owns.
    static TComPtr Adopt(T* p)
    {
        TComPtr r;
        r.FPtr = p;
        return r;
    }
    void Reset()
    {
        if (FPtr != nullptr) {
            std::exchange(FPtr, nullptr)->Release();
        }
    }
    T* Get() const { return FPtr; }
    T* operator->() const { return FPtr; }
    explicit operator bool() const { return FPtr != nullptr; }
    // For out parameters: releases the current reference first.
    T** Put()
    {
        Reset();
        return &FPtr;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    // Hands the reference to the caller.
    T* Detach() { return std::exchange(FPtr, nullptr); }

    // QueryInterface into another pointer; empty when unsupported.
    template <class U>
    TComPtr<U> As(REFIID iid) const
    {
        TComPtr<U> r;
        if (FPtr != nullptr) {
            FPtr->QueryInterface(iid, r.PutVoid());
        }
        return r;
    }

private:
    T* FPtr = nullptr;
};

// QueryInterface that raises EIntfCastError when the interface is missing.
template <class U, class T>
TComPtr<U> ComCast(const TComPtr<T>& source, REFIID iid)
{
    TComPtr<U> r = source.template As<U>(iid);
    if (!r) {
        throw EIntfCastError("Interface not supported");
    }
    return r;
}

class TOleVariant {
public:
    TOleVariant() { VariantInit(&FValue); }
    explicit TOleVariant(int value) : TOleVariant() { V_VT(&FValue) = VT_I4; V_I4(&FValue) = value; }
    static TOleVariant FromBool(bool value)
    {
        TOleVariant v;
        V_VT(&v.FValue) = VT_BOOL;
        V_BOOL(&v.FValue) = value ? VARIANT_TRUE : VARIANT_FALSE;
        return v;
    }
    explicit TOleVariant(const std::wstring& text) : TOleVariant()
    {
        V_VT(&FValue) = VT_BSTR;
        V_BSTR(&FValue) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    }
    explicit TOleVariant(const wchar_t* text) : TOleVariant(std::wstring(text)) {}
    explicit TOleVariant(IDispatch* object) : TOleVariant()
    {
        V_VT(&FValue) = VT_DISPATCH;
        V_DISPATCH(&FValue) = object;
        if (object != nullptr) {
            object->AddRef();
        }
    }
    explicit TOleVariant(const VARIANT& source) : TOleVariant() { VariantCopy(&FValue, const_cast<VARIANT*>(&source)); }
    TOleVariant(const TOleVariant& other) : TOleVariant() { VariantCopy(&FValue, const_cast<VARIANT*>(&other.FValue)); }
    TOleVariant(TOleVariant&& other) noexcept : FValue(other.FValue) { VariantInit(&other.FValue); }
    TOleVariant& operator=(const TOleVariant& other)
    {
        if (this != &other) {
            VariantCopy(&FValue, const_cast<VARIANT*>(&other.FValue));
        }
        return *this;
    }
    TOleVariant& operator=(TOleVariant&& other) noexcept
    {
        if (this != &other) {
            VariantClear(&FValue);
            FValue = other.FValue;
            VariantInit(&other.FValue);
        }
        return *this;
    }
    ~TOleVariant() { VariantClear(&FValue); }

    VARIANT* Ptr() { return &FValue; }   // for out arguments and by-reference calls
    const VARIANT& Value() const { return FValue; }
    VARIANT& Value() { return FValue; }
    VARTYPE Type() const { return V_VT(&FValue); }
    bool IsEmpty() const { return V_VT(&FValue) == VT_EMPTY; }
    void Clear() { VariantClear(&FValue); }

    // Conversions (VariantChangeType); raise EOleSysError when impossible.
    int AsInteger() const;
    bool AsBool() const;
    std::wstring AsWide() const;
    // The object of a VT_DISPATCH or VT_UNKNOWN value (QueryInterface for IDispatch), or null.
    TComPtr<IDispatch> AsDispatch() const;

private:
    VARIANT FValue;
};

// BSTR helpers: a BSTR of the text (caller frees), and the text of a BSTR (null is empty).
BSTR ToBstr(const std::wstring& text);
std::wstring FromBstr(BSTR text);

// The reference count of a COM object of our own: the object frees itself at zero. A class
// derives from it privately and forwards AddRef and Release to AddRefImpl and ReleaseImpl.
class TComRefCounted {
protected:
    virtual ~TComRefCounted() = default;
    ULONG AddRefImpl() { return static_cast<ULONG>(InterlockedIncrement(&FRefs)); }
    ULONG ReleaseImpl()
    {
        const LONG n = InterlockedDecrement(&FRefs);
        if (n == 0) {
            delete this;
        }
        return static_cast<ULONG>(n);
    }

private:
    LONG FRefs = 1;
};

// Runs body() and answers its result; an exception gives E_UNEXPECTED. For COM entry points.
template <class Body>
HRESULT ComGuard(Body&& body) noexcept
{
    try {
        return body();
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// Reads or writes a property of an automation object by dispatch id; raise EOleException
// (with the object's exception record) or EOleSysError on failure.
TOleVariant GetDispatchProperty(IDispatch* object, DISPID id);
void SetDispatchProperty(IDispatch* object, DISPID id, const TOleVariant& value);
// Calls a method by dispatch id with arguments in natural order.
TOleVariant InvokeDispatch(IDispatch* object, DISPID id, WORD flags, VARIANT* args, UINT count);
