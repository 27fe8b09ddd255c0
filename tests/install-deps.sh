#!/bin/sh
# What scripts/install-deps.sh asks of apt, against stand-ins for apt-get,
# apt-cache, apt-config, dpkg-query and id on a machine where nothing is
# installed: lists dated this hour but removed since (as a minimal root's
# maker leaves them) are fetched again before anything is chosen, so that
# sdl12-compat's libsdl1.2-dev is left out; kept lists on which the install
# fails are fetched again, and the choice made again on the new ones.
# Usage: install-deps.sh SOURCE_DIR SCRATCH_DIR
set -u
export LC_ALL=C

top=$1
scratch=$2
failures=0
rm -rf "$scratch"
mkdir -p "$scratch/bin"
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# The stand-ins. apt-get logs each call; "update" writes a list that says
# libsdl1.2-dev is built from sdl12-compat; an install fails while the
# lists are old (the file "stale"). apt-cache answers from the lists alone.
cat >"$scratch/bin/apt-get" <<'EOF'
#!/bin/sh
echo "apt-get $*" >>"$APT_LOG"
case $1 in
update) mkdir -p "$LISTS/partial" && rm -f "$LISTS/stale" &&
    printf 'Package: libsdl1.2-dev\nSource: sdl12-compat\n' >"$LISTS/archive_Packages" ;;
install) [ "$2" = -s ] || [ ! -e "$LISTS/stale" ] ;;
esac
EOF
cat >"$scratch/bin/apt-cache" <<'EOF'
#!/bin/sh
p=$3
grep -q "^Package: $p\$" "$LISTS"/*_Packages 2>/dev/null || exit 100
[ -e "$LISTS/stale" ] || sed -n "/^Package: $p\$/,/^\$/p" "$LISTS"/*_Packages
EOF
cat >"$scratch/bin/apt-config" <<'EOF'
#!/bin/sh
echo "lists='$LISTS/'"
EOF
printf '#!/bin/sh\nexit 1\n' >"$scratch/bin/dpkg-query"
printf '#!/bin/sh\necho 0\n' >"$scratch/bin/id"
chmod +x "$scratch/bin/"*

# run WHAT: install-deps.sh for make demo with the stand-ins; its apt-get
# calls in $scratch/calls, a line each.
run() {
    rm -f "$scratch/calls"
    if ! PATH="$scratch/bin:$PATH" APT_LOG="$scratch/calls" LISTS="$scratch/lists" TMPDIR="$scratch" \
        sh "$top/scripts/install-deps.sh" demo >"$scratch/out" 2>&1; then
        fail "$1: install-deps failed: $(cat "$scratch/out")"
    fi
    calls=$(sed -e 's/ -y -q//' -e 's/ --no-install-recommends//' "$scratch/calls" 2>/dev/null)
}
want="apt-get install cmake make g++ dpkg-dev"

# Lists removed, their partial/ folder dated this hour.
mkdir -p "$scratch/lists/partial"
run "lists removed"
case $calls in
"apt-get update"*"$want") echo "ok: lists removed since the last update are fetched first" ;;
*) fail "lists removed: apt-get was called so: $calls" ;;
esac
grep -q 'leaving out libsdl1.2-dev, which here is sdl12-compat' "$scratch/out" ||
    fail "lists removed: libsdl1.2-dev was not left out: $(cat "$scratch/out")"

# Lists of this hour that the install fails on: fetched again, and chosen
# on anew (the old ones do not say where libsdl1.2-dev comes from).
touch "$scratch/lists/stale"
run "stale lists"
case $calls in
*"apt-get update"*"$want") echo "ok: lists the install fails on are fetched, and the choice made again" ;;
*) fail "stale lists: apt-get was called so: $calls" ;;
esac
case $calls in
*"apt-get update"*libsdl1.2-dev*) fail "stale lists: libsdl1.2-dev installed after the update: $calls" ;;
esac

rm -rf "$scratch"
[ "$failures" -eq 0 ]
