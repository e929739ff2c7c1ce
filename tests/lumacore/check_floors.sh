#!/usr/bin/env bash
# The floors of apps/lumacore: a folder includes only folders of its own floor or below (the
# table in docs/architecture.md). Prints each include that reaches up and fails on any.
#   usage: check_floors.sh APPS_LUMACORE_FOLDER
set -euo pipefail
cd "$1"
declare -A floor=([ffmpeg]=0 [audio]=1 [analysis]=2 [output]=2 [background]=2 [pipeline]=3
    [render]=4 [live]=4 [play]=5 [listen]=5)
status=0
for folder in */; do
    folder=${folder%/}
    [ -n "${floor[$folder]:-}" ] || {
        echo "check_floors: $folder has no floor: give it one here and in docs/architecture.md"
        status=1
        continue
    }
    while IFS=: read -r file line included; do
        above=${floor[$included]:-}
        if [ -n "$above" ] && [ "$above" -gt "${floor[$folder]}" ]; then
            echo "$folder/$file:$line includes $included/, a floor above"
            status=1
        fi
    done < <(cd "$folder" && grep -rnoE '^#include "[a-z_]+/' . |
        sed -E 's#^\./##; s#:\#include "([a-z_]+)/$#:\1#')
done
exit $status
