#!/bin/bash
# run-in-scratch-prefix.sh PREFIX PROGRAM [ARGS...]: runs a Windows test program under Wine in
# the scratch prefix PREFIX (made on first use, null graphics driver) and answers its exit code.
set -u
prefix=$1
shift
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-env"
make_wine_prefix "$prefix" null
export WINEPREFIX=$prefix
wine "$@"
rc=$?
WINEPREFIX=$prefix wineserver -w
exit $rc
