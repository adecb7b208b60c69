/* The checks of the separately built callers, in C and C++: each failed check is printed, and
 * the caller exits non-zero when gFailures is not 0. */
#pragma once

#include <stdio.h>

static int gFailures = 0;

static void Check(int ok, const char* what)
{
    if (!ok) {
        printf("FAILED: %s\n", what);
        ++gFailures;
    }
}
