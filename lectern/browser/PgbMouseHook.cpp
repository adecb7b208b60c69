#include "PgbMouseHook.h"

TWheelAction WheelFocusDecision(bool handled, bool haveTarget, bool haveFocus, uintptr_t targetBrowser,
                                uintptr_t focusBrowser, bool focusIsDocView)
{
    if (handled || !haveTarget || !haveFocus || targetBrowser == 0) {
        return TWheelAction::PassOn;
    }
    if (targetBrowser == focusBrowser) {
        return focusIsDocView ? TWheelAction::FocusAndEat : TWheelAction::PassOn;
    }
    return TWheelAction::FocusAndEat;
}
