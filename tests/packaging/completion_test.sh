#!/usr/bin/env bash
# Checks the bash completions against the programs' own --help: every command
# and option the help names must be offered, so a command added to a program
# but not to its completion fails here.
#   completion_test.sh COMPLETION_DIR ZENTARI_CLI VORNLOAD
set -uo pipefail

completions=$1
zentari_cli=$2
vornload=$3
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# complete_words PROGRAM WORD...: what the completion offers for the last WORD,
# one per line, sorted.
complete_words() {
    local fn
    fn=$(complete -p "$1" 2>/dev/null | sed -n 's/.*-F \([^ ]*\) .*/\1/p')
    [[ -n $fn ]] || { echo "no completion function for $1" >&2; return 1; }
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMP_LINE="$*"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    "$fn" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    ((${#COMPREPLY[@]})) && printf '%s\n' "${COMPREPLY[@]}" | sort -u
    return 0
}

# expect_all WHAT EXPECTED OFFERED: every line of EXPECTED is in OFFERED.
expect_all() {
    local missing
    missing=$(comm -23 <(sort -u <<<"$2" | sed '/^$/d') <(sort -u <<<"$3"))
    [[ -z $missing ]] || fail "$1: not offered: $(echo $missing)"
}

# expect_same WHAT EXPECTED OFFERED: the two sets are equal.
expect_same() {
    expect_all "$1" "$2" "$3"
    local extra
    extra=$(comm -13 <(sort -u <<<"$2") <(sort -u <<<"$3" | sed '/^$/d'))
    [[ -z $extra ]] || fail "$1: offered but not in the help: $(echo $extra)"
}

for file in "$completions/zentari-cli" "$completions/vornload"; do
    # shellcheck disable=SC1090
    source "$file" || fail "cannot source $file"
done

# --- zentari-cli ------------------------------------------------------------
help=$("$zentari_cli" --help) || fail "zentari-cli --help failed"

# The commands: the lines indented by two under "Commands:" up to the first blank
# line; "--help, help   text" lists several names before its text.
commands=$(awk '
    /^Commands:/ { on = 1; next }
    on && /^$/ { exit }
    on && /^  [^ ]/ {
        line = substr($0, 3)
        if (line ~ /^-/) {
            sub(/  .*/, "", line)
            n = split(line, names, /, /)
            for (i = 1; i <= n; i++) print names[i]
        } else {
            split(line, words, " ")
            print words[1]
        }
    }' <<<"$help")
[[ $(wc -l <<<"$commands") -ge 10 ]] || fail "could not read the commands from zentari-cli --help"
expect_same "zentari-cli commands" "$commands" "$(complete_words zentari-cli '')"
expect_all "zentari-cli commands starting with b" "$(grep '^b' <<<"$commands")" \
    "$(complete_words zentari-cli b)"

# Each command's options: the [-x ...] groups of its synopsis lines (the command's
# own line and the lines that continue it with "[").
synopsis_options() {  # COMMAND
    awk -v cmd="$1" '
        /^Commands:/ { on = 1; next }
        on && /^$/ { exit }
        on && /^  [^ ]/ { mine = (substr($0, 3) ~ ("^" cmd "( |$)")); if (mine) print; next }
        on && mine && /^ +\[/ { print; next }
        on { mine = 0 }' <<<"$help" |
        grep -o '\[--*[a-z][a-z-]*' | tr -d '[' | sort -u
}
for command in $(grep -v '^-\|^help$' <<<"$commands"); do
    wanted=$(synopsis_options "$command")
    [[ -n $wanted ]] || continue
    expect_all "zentari-cli $command options" "$wanted" "$(complete_words zentari-cli "$command" -)"
done

# Options with a fixed set of values: "[--color red|black]".
while read -r command option values; do
    [[ -n $command ]] || continue
    expect_same "zentari-cli $command $option values" "$(tr '|' '\n' <<<"$values")" \
        "$(complete_words zentari-cli "$command" "$option" '')"
done < <(awk '
    /^Commands:/ { on = 1; next }
    on && /^$/ { exit }
    on && /^  [a-z]/ { split(substr($0, 3), w, " "); cmd = w[1] }
    on {
        s = $0
        while (match(s, /\[--[a-z-]+ [a-z]+(\|[a-z]+)+\]/)) {
            group = substr(s, RSTART + 1, RLENGTH - 2)
            split(group, part, " ")
            print cmd, part[1], part[2]
            s = substr(s, RSTART + RLENGTH)
        }
    }' <<<"$help")

# The sign options and the commands that take them: "Options of a, b and c:".
sign_commands=$(awk '
    /^Options of/ { on = 1 }
    on { text = text " " $0 }
    on && /:$/ { exit }
    END { sub(/^ *Options of /, "", text); gsub(/,|:| and /, " ", text); print text }' <<<"$help" |
    tr -s ' ' '\n' | sed '/^$/d')
sign_options=$(awk '
    /^Options of/ { on = 1 }
    on && /:$/ { listing = 1; next }
    listing && /^$/ { exit }
    listing && /^  --/ { split(substr($0, 3), w, " "); print w[1] }' <<<"$help")
[[ -n $sign_commands && -n $sign_options ]] || fail "could not read the sign options from zentari-cli --help"
for command in $sign_commands; do
    expect_all "zentari-cli $command sign options" "$sign_options" \
        "$(complete_words zentari-cli "$command" --)"
done

# Project files, and folders to reach them; no other files.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/shows"
touch "$scratch/a.vqd" "$scratch/B.VQD" "$scratch/notes.txt"
(
    failures=0
    cd "$scratch" || exit 1
    expect_same "zentari-cli send FILE" $'B.VQD\na.vqd\nshows' "$(complete_words zentari-cli send '')"
    exit "$failures"
) || failures=$((failures + $?))

# --- vornload ---------------------------------------------------------------
vhelp=$("$vornload" --help) || fail "vornload --help failed"
# "  -x ARG   text" and "  -a, -b, -c" lines; -divN and -wN take their number in
# the same word, so the completion offers -div and -w.
voptions=$(awk '/^  -/ {
        line = substr($0, 3)
        sub(/   .*/, "", line)
        n = split(line, names, /, /)
        for (i = 1; i <= n; i++) { split(names[i], w, " "); print w[1] }
    }' <<<"$vhelp" | sed 's/^\(-[a-z]*\)N$/\1/' | sort -u)
[[ $(wc -l <<<"$voptions") -ge 15 ]] || fail "could not read the options from vornload --help"
expect_same "vornload options" "$voptions" "$(complete_words vornload -)"
expect_same "vornload -to options" "$(grep '^-to' <<<"$voptions")" "$(complete_words vornload -to)"

if ((failures)); then
    echo "$failures failure(s)" >&2
    exit 1
fi
echo "completion: zentari-cli $(wc -l <<<"$commands") commands, vornload $(wc -l <<<"$voptions") options checked"
