#!/bin/sh
# Runs ctest in BUILD with ARGUMENTS, so that an interruption stops it all:
# ctest and its tests in a session of their own, which SIGINT, SIGTERM or
# SIGHUP to this script ends whole (a ctest on its own may carry on with the
# tests it has not started, and leave the running ones' scratch folders);
# and the tests' temporary folders (TMPDIR) in one that goes with the run,
# however it ends. The status is ctest's.
# Usage: ctest.sh BUILD [ARGUMENT...]
set -eu

[ $# -ge 1 ] || { echo "usage: ctest.sh BUILD [ARGUMENT...]" >&2; exit 2; }
top=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=tests/system/lifecycle.sh
. "$top/tests/system/lifecycle.sh"
lifecycle ctest
cd "$1"
shift
TMPDIR=$(scratch tests)
export TMPDIR
# Open to all, as /tmp is: a test that drops root's privileges reaches its
# own folder (mkdtemp's, closed to others) through these.
chmod 0755 "${TMPDIR%/*}" "$TMPDIR"
# (setsid: a background child is no group leader, so it makes the session
# in place, and its process id names the session's process group.)
stop_tests() { kill -TERM "-$(lc_running)" 2>/dev/null || true; }
at_stop stop_tests
lc_run setsid ctest "$@"
