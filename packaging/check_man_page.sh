#!/usr/bin/env bash
# check_man_page.sh PROGRAM MANPAGE: fails unless the manual page names every option that
# `PROGRAM --help` and `PROGRAM COMMAND --help` print, for every command.
#
# An option counts as named only in its roff-escaped form (`\-\-quality`, `\-o`), the form that
# renders as a searchable ASCII hyphen; a bare `--quality` in the page does not count. Prints one
# line per missing option and exits 1; 2 when the program's help cannot be read.
set -uo pipefail

if [ $# -ne 2 ]; then
    echo "usage: $0 PROGRAM MANPAGE" >&2
    exit 2
fi
program=$1
page=$2
if [ ! -r "$page" ]; then
    echo "$page: cannot read the manual page" >&2
    exit 2
fi

# The options in the first column of a help text's option lines ("  -o,--output TEXT  ...").
options_of() {
    awk '/^[A-Za-z]+:$/ { section = $0; next }
         section == "Options:" && /^  -/ {
             n = split($1, names, ",")
             for (i = 1; i <= n; i++) print names[i]
         }'
}

# The commands of the top-level help ("  analyse, analyze   write ..."): the first name of each.
commands_of() {
    awk '/^[A-Za-z]+:$/ { section = $0; next }
         section == "Subcommands:" && /^  [a-z]/ { sub(/,$/, "", $1); print $1 }'
}

help_of() {
    local text
    if ! text=$(LC_ALL=C "$program" "$@" --help 2>&1); then
        echo "${program}${*:+ $*} --help failed: $text" >&2
        exit 2
    fi
    printf '%s\n' "$text"
}

top=$(help_of) || exit 2
mapfile -t commands < <(printf '%s\n' "$top" | commands_of)
if [ ${#commands[@]} -eq 0 ]; then
    echo "$program --help lists no commands" >&2
    exit 2
fi

declare -A wanted # option -> where the help prints it
while read -r option; do
    wanted[$option]="lumacore --help"
done < <(printf '%s\n' "$top" | options_of)
for command in "${commands[@]}"; do
    text=$(help_of "$command") || exit 2
    while read -r option; do
        [ -n "${wanted[$option]:-}" ] && wanted[$option]+=", "
        wanted[$option]+="lumacore $command --help"
    done < <(printf '%s\n' "$text" | options_of)
done

# Every escaped option word in the page (`\-\-no\-sound` as --no-sound), each once.
declare -A named
while read -r word; do
    named[${word//\\-/-}]=1
done < <(grep -oE '(\\-)+[A-Za-z0-9]([A-Za-z0-9]|\\-)*' "$page" | sort -u)

missing=0
for option in $(printf '%s\n' "${!wanted[@]}" | sort); do
    if [ -z "${named[$option]:-}" ]; then
        echo "$page does not name ${option//-/\\-} (${wanted[$option]})"
        missing=$((missing + 1))
    fi
done
if [ $missing -gt 0 ]; then
    exit 1
fi
echo "$page names all ${#wanted[@]} options of lumacore and its ${#commands[@]} commands"
