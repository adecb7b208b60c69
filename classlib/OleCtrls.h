// TOleControl: a windowed control that hosts an ActiveX control (Windows builds only).
//
// A descendant describes its control in a static TControlData (class id, event interface, the
// dispatch ids of its events) installed by InitControlData, and calls CreateControl from its
// constructor: the control object is made with the component and given a client site. The
// window of the component is the control's own in-place window, adopted (subclassed) when
// CreateWnd activates the control in place inside the parent's window and let go again by
// DestroyWnd, which deactivates it.
//
// Three COM objects of our own talk to the control, each with its own reference count and a
// pointer back to the component that teardown clears, so that a late call from the control
// finds no component and fails quietly instead of touching freed memory:
//  - the client site (IOleClientSite, IOleInPlaceSite, IOleControlSite and IDispatch for the
//    ambient properties); interfaces it does not know are asked of the component
//    (QueryHostInterface), which is how a descendant answers host interfaces;
//  - the in-place frame (IOleInPlaceFrame) standing for the form;
//  - the event sink (IDispatch of the event interface), connected through the control's
//    connection point: an incoming call is matched by its dispatch id against the control
//    data and handed to InvokeEvent with its index.
// Every COM entry point catches everything; nothing unwinds into the control.
#pragma once

#include "ComObj.h"
#include "Controls.h"

#include <ocidl.h>
#include <oleidl.h>

#include <cstdint>

struct TControlData {
    CLSID ClassID;
    IID EventIID;
    int EventCount;
    const DISPID* EventDispIDs;   // EventCount ids, in the order of the events
    uint32_t Flags;
    int Version;
};

class TOleClientSite;
class TOleInPlaceFrame;
class TOleEventSink;

class TOleControl : public TWinControl {
public:
    explicit TOleControl(TComponent* owner);
    ~TOleControl() override;

    const TControlData* ControlData() const { return FControlData; }
    // The control object as IUnknown (OleObject of the class layer); empty before CreateControl.
    TComPtr<IUnknown> OleObject() const;
    TComPtr<IOleObject> OleObjectIntf() const { return FOleObject; }
    TComPtr<IOleInPlaceObject> OleInPlaceObject() const { return FOleInPlaceObject; }
    // The control's automation interface (its default IDispatch).
    IDispatch* ControlDispatch() const { return FControlDispatch.Get(); }

    // Properties of the control by dispatch id; failures raise EOleException/EOleSysError.
    TOleVariant GetProperty(DISPID id) const;
    void SetProperty(DISPID id, const TOleVariant& value);
    bool GetWordBoolProp(DISPID id) const { return GetProperty(id).AsBool(); }
    void SetWordBoolProp(DISPID id, bool value) { SetProperty(id, TOleVariant::FromBool(value)); }
    int GetIntegerProp(DISPID id) const { return GetProperty(id).AsInteger(); }
    void SetIntegerProp(DISPID id, int value) { SetProperty(id, TOleVariant(value)); }
    std::wstring GetWideStringProp(DISPID id) const { return GetProperty(id).AsWide(); }
    void SetWideStringProp(DISPID id, const std::wstring& value) { SetProperty(id, TOleVariant(value)); }
    TComPtr<IDispatch> GetIDispatchProp(DISPID id) const { return GetProperty(id).AsDispatch(); }

    // The index of an event's dispatch id in the control data, -1 when it is not an event.
    int EventIndex(DISPID id) const;

    void SetBounds(int left, int top, int width, int height) override;

    CL_CLASS_NAME(TOleControl)

protected:
    friend class TOleClientSite;
    friend class TOleInPlaceFrame;
    friend class TOleEventSink;

    // Installs the control data (FControlData).
    virtual void InitControlData() = 0;
    // Makes the control object: InitControlData, the instance, its client site and the event
    // connection. The most derived constructor calls it. Raises EOleSysError.
    void CreateControl();
    // An event of the control: its index in the control data and its arguments (last first,
    // as the platform passes them; by-reference arguments may be written).
    virtual void InvokeEvent(int index, DISPID id, DISPPARAMS& params) {}
    // Interfaces the client site answers beyond its own; none by default.
    virtual HRESULT QueryHostInterface(REFIID iid, void** object);
    // The ambient properties (the site's IDispatch). The base answers the usual ambients and
    // DISP_E_MEMBERNOTFOUND for the rest.
    virtual HRESULT AmbientInvoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
                                  UINT* argError);
    virtual HRESULT AmbientGetTypeInfoCount(UINT* count);
    virtual HRESULT AmbientGetTypeInfo(UINT index, LCID lcid, ITypeInfo** info);
    virtual HRESULT AmbientGetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids);

    void CreateWnd() override;
    void DestroyWnd() override;
    // Reflected keys go to the control's in-place active object first (its accelerators: tab
    // navigation, clipboard keys); a key it translates is consumed (result 1).
    void WndProc(TMessage& message) override;
    // The window the control is activated in: the parent's handle, or ParentWindow.
    HWND ParentHandle() const;
    // Tells the control its position and clipping rectangles (the component's bounds).
    void UpdateObjectRects();
    // The client site given to the control (no new reference); null after teardown.
    IOleClientSite* ClientSite() const;

    const TControlData* FControlData = nullptr;

private:
    void DestroyControl();

    TComPtr<IOleObject> FOleObject;
    TComPtr<IOleInPlaceObject> FOleInPlaceObject;
    TComPtr<IDispatch> FControlDispatch;
    TOleClientSite* FSite = nullptr;           // one reference held
    TOleInPlaceFrame* FFrame = nullptr;        // one reference held
    TOleEventSink* FEventSink = nullptr;       // one reference held
    TComPtr<IConnectionPoint> FEventsConnection;
    DWORD FEventsCookie = 0;
    DWORD FMiscStatus = 0;
};

// The control's ambient user mode (-709) and the others the base answers.
constexpr DISPID kDispidAmbientUserMode = -709;
