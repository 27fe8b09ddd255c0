#!/bin/sh
# The README's quick start off the usual path: in a fresh clone of this
# repository's HEAD, in a folder whose path holds a blank and a letter that
# is not ASCII, as a user who is not root (nobody, or ANY_FOLDER_USER),
# `make demo` must list the sample disc and `make check` pass. The packages
# they need must be installed already (root installs them: make check once);
# the user cannot. Nothing of it stays.
# Usage: check-any-folder.sh
# Needs root, to act as the user (setpriv, util-linux).
set -eu
export LC_ALL=C

top=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=tests/system/lifecycle.sh
. "$top/tests/system/lifecycle.sh"
# shellcheck source=tests/system/cases.sh
. "$top/tests/system/cases.sh"
lifecycle check-any-folder
[ "$(id -u)" -eq 0 ] || die "needs root, to run the quick start as another user"
user=${ANY_FOLDER_USER:-nobody}
uid=$(id -u "$user") && gid=$(id -g "$user") || die "no user $user"

if [ -n "$(git -C "$top" status --porcelain --untracked-files=no)" ]; then
    say "the working tree has uncommitted changes; the clone holds its HEAD only"
fi
# The user must reach the folder: the scratch root is root's alone.
home=$(scratch home)
chmod 0755 "${home%/*}" "$home"
folder="$home/a folder with blanks/dépôt"
mkdir -p "$folder" "$home/tmp"
git clone -q "$top" "$folder/cdtracks"
chown -R "$uid:$gid" "$home"

# (In place of the case's shell, so that stopping the case stops COMMAND.)
as_user() { # COMMAND...
    exec setpriv --reuid="$uid" --regid="$gid" --clear-groups \
        env -i HOME="$home" TMPDIR="$home/tmp" PATH="$PATH" TERM=dumb ${CI:+CI="$CI"} "$@"
}
clone=$folder/cdtracks
out=${home%/*}/out
status=0
lc_run case_in "$clone" as_user make demo >"$out.demo" 2>"$out.demo-err" || status=$?
if [ $status -eq 0 ] && cmp -s "$out.demo" "$top/tests/discs/sample.expected"; then
    case_pass
else
    tail -n 20 "$out.demo-err" >&2
    case_fail "make demo: status $status; printed $(wc -l <"$out.demo") lines, not the sample's"
fi
status=0
lc_run case_in "$clone" as_user make check >"$out.check" 2>&1 || status=$?
# ctest's own closing lines, as it printed them.
tail -n 8 "$out.check"
[ $status -eq 0 ] && case_pass || {
    tail -n 40 "$out.check" >&2
    case_fail "make check: status $status"
}
say "as $user, in '$folder'"
cases_summary check-any-folder
