#!/usr/bin/env bash
# Checks the bash completion of orvane-batch: its syntax, that it registers, what it offers for
# commands, options, values and files, and that each command's option list matches its --help.
# Usage: completion_check.sh COMPLETION_FILE ORVANE_BATCH. Exits 77 (skipped) without
# bash-completion.
set -uo pipefail
script=$1
batch=$(realpath "$2")
bash -n "$script" || { echo "FAIL: syntax"; exit 1; }
[ -r /usr/share/bash-completion/bash_completion ] || { echo "bash-completion missing: skipped"; exit 77; }
# shellcheck disable=SC1091
source /usr/share/bash-completion/bash_completion
# shellcheck disable=SC1090
source "$script"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

complete -p orvane-batch | grep -q -- '-F _orvane_batch' || fail "complete -p: $(complete -p orvane-batch 2>&1)"

# What the completion offers for a command line whose last word is being typed.
offers() {
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMP_LINE="$*"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    # compopt works only under a real completion; here it only complains.
    _orvane_batch orvane-batch "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
    printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
touch beam.kvp beam.orv notes.txt lab.csv
expect() {
    local want=$1
    shift
    local got
    got=$(offers "$@")
    [ "$got" = "$want" ] || fail "'$*': offered '$got', not '$want'"
}
expect "study " orvane-batch st
expect "beam.kvp beam.orv codes convert fit study validate " orvane-batch ""
expect "--model-factor " orvane-batch study --model-f
expect "--target-beta " orvane-batch study merge --ta
expect "beam.kvp beam.orv " orvane-batch study --vary lb=10,20 ""
expect "--vary " orvane-batch study --va
expect "--xlsx " orvane-batch fit --xl
expect "law= lb= " orvane-batch study --vary l
expect "softening " orvane-batch --model s
expect "bilinear both " orvane-batch fit --law b
expect "--detail " orvane-batch --det
expect "lab.csv " orvane-batch fit --measured la
expect "lu2005 lu2005-precise lu2005-simplified " orvane-batch codes --law-from lu

# Every option of every command's help, and no other, is offered.
for command in "" study fit convert codes validate "study merge"; do
    from_help=$("$batch" $command --help | grep -oE '^  (-[A-Za-z],)?--[a-z-]+' |
        tr ',' '\n' | tr -d ' ' | sort -u | tr '\n' ' ')
    offered=$(_orvane_batch_options "$command" | tr ' ' '\n' | grep . | sort -u | tr '\n' ' ')
    [ "$from_help" = "$offered" ] ||
        fail "${command:-run}: help has '$from_help', the completion '$offered'"
done
[ "$failures" -eq 0 ] && echo "completion checks passed"
exit $((failures > 0))
