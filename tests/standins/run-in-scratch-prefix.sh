#!/bin/bash
# run-in-scratch-prefix.sh PREFIX PROGRAM [ARGS...]: runs a Windows test program under Wine in
# the scratch prefix PREFIX (made on first use, null graphics driver) through scripts/wine-test,
# as every test program runs, and answers its status.
set -u
prefix=$1
shift
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$root/scripts/wine-env"
make_wine_prefix "$prefix" null
export WINEPREFIX=$prefix
"$root/scripts/wine-test" "$@"
rc=$?
WINEPREFIX=$prefix wineserver -w
exit $rc
