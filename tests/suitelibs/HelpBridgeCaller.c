/* A caller of helpbridge written in C, as a program of the suite may be: it knows helpbridge
 * only through HelpBridge.h and its import library. It registers the fake help control beside
 * it as the HTML Help control's class (so it runs in the scratch prefix), calls HelpBridge and
 * checks the answer and the call the control received. Prints each failed check and exits
 * non-zero when one fails. */
#include "HelpBridge.h"

#include "CallerChecks.h"
#include "FakeHelpControl.h"

#include <stdio.h>
#include <string.h>


int main(void)
{
    static const char serverKey[] = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
    char fake[MAX_PATH] = "";
    char* folderEnd;
    HWND answer;
    HMODULE control;
    FakeHelpCallsProc calls;
    const FakeHelpCall* record = NULL;

    GetModuleFileNameA(NULL, fake, MAX_PATH);
    folderEnd = strrchr(fake, '\\');
    strcpy(folderEnd + 1, "fakehelp.dll");
    Check(RegSetValueA(HKEY_CLASSES_ROOT, serverKey, REG_SZ, fake, (DWORD)strlen(fake)) == ERROR_SUCCESS,
          "the fake control registered");

    answer = HelpBridge(NULL, "C caller.chm", 15, 4711);
    Check(answer == (HWND)(uintptr_t)kFakeHelpResult, "HelpBridge answers the control's result");
    control = GetModuleHandleA("fakehelp.dll");
    Check(control != NULL, "the registered control is loaded");
    if (control != NULL) {
        calls = (FakeHelpCallsProc)(void (*)(void))GetProcAddress(control, "FakeHelpCalls");
        Check(calls(&record) == 1, "one call reached the control");
        Check(strcmp(record[0].file, "C caller.chm") == 0 && record[0].command == 15 && record[0].data == 4711 &&
                  record[0].window == NULL,
              "the control received the four arguments");
    }
    printf("%s: %d failed checks\n", gFailures ? "FAILED" : "passed", gFailures);
    return gFailures ? 1 : 0;
}
