#!/bin/sh
# The plug-in must export exactly one plain symbol, winampVisGetHeader, and import only DLLs
# that every Windows has.
set -eu
objdump="$1"
dll="$2"
tables=$("$objdump" -p "$dll")

allowed='^(kernel32|user32|gdi32|comctl32|msvcrt|advapi32)\.dll$'
status=0
imports=$(printf '%s\n' "$tables" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ -n "$imports" ] || { echo "no import table found"; exit 1; }
for name in $imports; do
    lower=$(printf '%s' "$name" | tr 'A-Z' 'a-z')
    if printf '%s\n' "$lower" | grep -Eq "$allowed"; then
        echo "import ok: $name"
    else
        echo "unexpected import: $name"
        status=1
    fi
done

# The export table lists one "[Ordinal/Name Pointer] Table" row per named export.
exports=$(printf '%s\n' "$tables" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
          sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p')
echo "exports: $exports"
if [ "$exports" != "winampVisGetHeader" ]; then
    echo "expected exactly one export, winampVisGetHeader"
    status=1
fi
exit $status
