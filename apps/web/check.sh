#!/bin/sh
# End-to-end check of the wasm build: each case renders through the SINGLE_FILE module in node;
# with a native lumacore (argument, or build/native's) the same pictures come from
# `lumacore render -o -` and the last one must match byte for byte. Bad arguments must fail with
# one line, never crash. Pictures stay before 4 s: the web build draws no title banner yet.
# Usage: web/check.sh [path/to/lumacore]   (after apps/web/build.sh)
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
native=${1:-$root/build/native/apps/lumacore/lumacore}
[ -x "$native" ] || native=""
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
passed=0
failed=0
pass() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }

# module mode width height fps pictures
while read -r module mode width height fps pictures; do
    case="$module $mode ${width}x$height fps $fps pictures $pictures"
    web=$(node "$root/apps/web/smoke.cjs" "$module" "$mode" "$width" "$height" "$fps" "$pictures") ||
        { fail "$case: web render failed"; continue; }
    if [ -z "$native" ]; then
        echo "$case: $web (no native lumacore to compare)"
        pass
        continue
    fi
    frame=$((width * height * 4))
    duration=$(echo "$pictures / $fps" | bc -l)
    raw="$config/raw"
    XDG_CONFIG_HOME="$config" "$native" render --module "$module" --mode "$mode" \
        --size "${width}x$height" --fps "$fps" --duration "$duration" -q -o - >"$raw" ||
        { fail "$case: native render failed"; continue; }
    count=$(($(wc -c <"$raw") / frame))
    mine=$(tail -c "$frame" "$raw" | sha256sum | cut -d' ' -f1)
    if [ "$count" -ne "$pictures" ]; then
        fail "$case: native wrote $count pictures"
    elif [ "$mine" != "$web" ]; then
        fail "$case: web $web, native $mine"
    else
        echo "$case: $web (same as native)"
        pass
    fi
done <<'CASES'
history 3d 320 200 30 60
history 2d 256 160 25 90
history 3d 97 61 60 10
scope 2d 289 257 30 45
vu 2d 289 257 60 100
CASES

# Bad arguments: one line on stderr and exit 1.
while read -r module width height fps pictures; do
    case="bad: $module ${width}x$height fps $fps pictures $pictures"
    node "$root/apps/web/smoke.cjs" "$module" 2d "$width" "$height" "$fps" "$pictures" \
        >/dev/null 2>"$config/err"
    rc=$?
    if [ "$rc" -eq 1 ] && [ -s "$config/err" ]; then pass; else fail "$case: exit $rc"; fi
done <<'CASES'
nosuch 64 64 30 5
history 0 64 30 5
scope 64 5000 30 5
vu 64 64 0 5
history 64 64 30 0
CASES

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
