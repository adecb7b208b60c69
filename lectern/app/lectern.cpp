// lectern: the e-book viewer.
#include "lectern/app/uVevIvaruvMain.h"

int main() { return RunLectern(); }
