// Events: a method pointer bound to an object, as components expose them.
//
// TEvent<Args...> holds an object and one of its member functions. It can be empty, copied
// and compared for equality (two events are equal when they call the same method of the
// same object). Unlike std::function it never owns anything.
#pragma once

#include "SysUtils.h"

template <class... Args>
class TEvent {
public:
    using Method = void (TObject::*)(Args...);

    TEvent() = default;

    template <class C>
    TEvent(C* object, void (C::*method)(Args...))
        : FObject(object), FMethod(static_cast<Method>(method))
    {
    }

    bool Assigned() const { return FObject != nullptr && FMethod != nullptr; }
    explicit operator bool() const { return Assigned(); }
    TObject* Object() const { return FObject; }

    void operator()(Args... args) const { (FObject->*FMethod)(args...); }

    bool operator==(const TEvent& other) const = default;
    // True when both call the same member function, whatever their objects.
    bool SameCode(const TEvent& other) const { return FMethod == other.FMethod; }

private:
    TObject* FObject = nullptr;
    Method FMethod = nullptr;
};

// The plain notice of a component: the sender.
using TNotifyEvent = TEvent<TObject*>;
