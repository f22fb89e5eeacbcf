#!/usr/bin/env bash
# Checks that each program's manual page names every option its --help lists (korvit-cli's
# subcommands and their options too), so that the pages cannot fall behind the programs.
#   scripts/check-man-pages.sh KORVIT KORVIT_CLI KORVIT_ECUSIM [MAN_DIR]
set -euo pipefail
declare -A path=([korvit]="$1" [korvit-cli]="$2" [korvit-ecusim]="$3")
man="${4:-$(dirname "$0")/../packaging/man}"
export QT_QPA_PLATFORM=offscreen

program() {
    echo "${path[$1]}"
}

# The page as plain text: groff's escaped hyphens and font changes taken out.
page_text() {
    sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\(em/--/g' "$man/$1.1"
}

options_of() {
    grep -oE -- '--[a-z][a-z0-9-]*' | sort -u
}

status=0
check() {
    local page="$1" what="$2" help="$3" text
    text="$(page_text "$page")"
    while read -r option; do
        [ -n "$option" ] || continue
        if ! grep -qE -- "${option}([^a-z0-9-]|\$)" <<<"$text"; then
            echo "$page.1 does not name $option ($what)"
            status=1
        fi
    done < <(options_of <<<"$help")
}

for name in korvit korvit-ecusim; do
    check "$name" "$name --help" "$("$(program "$name")" --help 2>&1)"
done

cli="$(program korvit-cli)"
top="$("$cli" --help 2>&1)"
check korvit-cli "korvit-cli --help" "$top"
# CLI11 lists the subcommands under "SUBCOMMANDS:" (or "Subcommands:"), one per line.
subcommands="$(sed -n '/^[Ss][Uu][Bb][Cc][Oo][Mm][Mm][Aa][Nn][Dd][Ss]:/,$p' <<<"$top" |
    tail -n +2 | awk 'NF {print $1}')"
[ -n "$subcommands" ] || { echo "korvit-cli --help lists no subcommands"; exit 1; }
for sub in $subcommands; do
    if ! grep -qE "(^|[^a-z-])$sub([^a-z-]|\$)" <<<"$(page_text korvit-cli)"; then
        echo "korvit-cli.1 does not name the subcommand $sub"
        status=1
    fi
    check korvit-cli "korvit-cli $sub --help" "$("$cli" "$sub" --help 2>&1)"
done
exit "$status"
