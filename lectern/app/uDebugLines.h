// The lines of the viewer's debug pane, kept apart from the pane's window.
//
// The page server adds lines from its worker threads, several at once, and one of its rules
// reads the last line before replacing it (a page and its pictures and style sheets collect on
// one "Ok:" line). Both happen here under one lock, so concurrent requests never lose a path
// from the joined line and no worker thread touches a window. The main form shows the lines in
// its pane on the main thread: OnChange tells it, on the thread that changed them (after the
// lock is left), that Lines() has something new.
#pragma once

#include "classlib/Events.h"
#include "classlib/SyncObjs.h"

#include <string>
#include <vector>

class TDebugLines : public TObject {
public:
    // Appends one line.
    void Add(const std::string& line);
    // Records a served entry: adds "Ok: " + path when there is no line yet or the last line
    // does not begin with "Ok:", else appends ", " + path to the last line.
    void AddServed(const std::string& path);

    std::vector<std::string> Lines() const;

    TEvent<TObject*> OnChange;

    CL_CLASS_NAME(TDebugLines)

private:
    void Changed();

    mutable TCriticalSection FLock;
    std::vector<std::string> FLines;
};
