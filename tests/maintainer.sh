#!/bin/sh
# The package's maintainer as cmake/maintainer.cmake decides it: the
# builder's address from DEBEMAIL, then from git's user.email, and a
# placeholder that names nobody where neither is known; never an address
# that is not one.
# Usage: maintainer.sh SOURCE_DIR SCRATCH_DIR
# git's cases are skipped (saying so) where git is missing, except in CI.
set -u
export LC_ALL=C

top=$1
scratch=$2
failures=0
rm -rf "$scratch"
mkdir -p "$scratch/home" "$scratch/plain"

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# expect WHAT MAINTAINER FOLDER [ENV=VALUE...]: the maintainer for FOLDER,
# with no git configuration but FOLDER's and only the ENV given.
expect() {
    what=$1 want=$2 folder=$3
    shift 3
    got=$(env -u DEBEMAIL -u DEBFULLNAME -u EMAIL HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home" \
        GIT_CONFIG_NOSYSTEM=1 "$@" cmake -DFOLDER="$folder" -P "$top/cmake/maintainer.cmake" 2>&1)
    if [ "$got" = "$want" ]; then echo "ok: $what"; else fail "$what: '$got', not '$want'"; fi
}

placeholder="Unknown builder <unknown@unknown.invalid>"
expect "nothing known: the placeholder" "$placeholder" "$scratch/plain"
expect "DEBEMAIL, an address" "jo <jo@example.org>" "$scratch/plain" DEBEMAIL=jo@example.org
expect "DEBEMAIL and DEBFULLNAME" "Jo Ex <jo@example.org>" "$scratch/plain" \
    DEBEMAIL=jo@example.org "DEBFULLNAME=Jo Ex"
expect "DEBEMAIL as Name <address>" "Jo Ex <jo@example.org>" "$scratch/plain" \
    "DEBEMAIL=Jo Ex <jo@example.org>" "DEBFULLNAME=Someone Else"
expect "DEBEMAIL that is no address" "$placeholder" "$scratch/plain" DEBEMAIL=localhost
expect "DEBEMAIL of two addresses" "$placeholder" "$scratch/plain" "DEBEMAIL=a@example.org, b@example.org"

if command -v git >/dev/null 2>&1; then
    repo=$scratch/repo
    git init -q "$repo"
    git -C "$repo" config user.email ann@example.org
    expect "git's user.email" "ann <ann@example.org>" "$repo"
    git -C "$repo" config user.name "Ann N"
    expect "git's user.name and user.email" "Ann N <ann@example.org>" "$repo"
    expect "DEBEMAIL before git's" "Ann N <jo@example.org>" "$repo" DEBEMAIL=jo@example.org
    expect "git's, where DEBEMAIL is no address" "Ann N <ann@example.org>" "$repo" DEBEMAIL=nobody
else
    echo "skipped: git's user.email: git is not installed"
    [ -z "${CI:-}" ] || fail "git is missing, and CI runs every case"
fi

rm -rf "$scratch"
[ "$failures" -eq 0 ]
