#!/usr/bin/env bash
# The bash completion offers model keywords quoted for the shell, so that "alder ext"
# completes to one word, in each place a model is typed.
#
#   tests/package/completion_test.sh PATH_TO_TARMIX_SIM
# Not -e or -u: the completion functions run as in an interactive shell.
set -o pipefail
root_dir="$(cd "$(dirname "$0")/../.." && pwd)"
sim="${1:?path to tarmix-sim}"
PATH="$(dirname "$sim"):$PATH"
source "$root_dir/packaging/tarmix.bash-completion"

failures=0
# The words of the line (the last is the one being completed), then the offers expected,
# separated by ":".
check() {
    local function="$1" words=() expected=()
    shift
    while [ "$1" != ":" ]; do words+=("$1"); shift; done
    shift
    expected=("$@")
    COMP_WORDS=("${words[@]}")
    COMP_CWORD=$((${#words[@]} - 1))
    "$function"
    local offered wanted
    offered="$(printf '%s\n' "${COMPREPLY[@]}" | sort)"
    wanted="$(printf '%s\n' "${expected[@]}" | sort)"
    if [ "$offered" != "$wanted" ]; then
        echo "completion test: ${words[*]} offered [${COMPREPLY[*]}], not [${expected[*]}]" >&2
        failures=$((failures + 1))
    fi
}

check _tarmix_sim tarmix-sim --model 'alder\ e' : 'alder\ ext'
check _tarmix_sim tarmix-sim --model 'small-al' : 'small-alder' 'small-alder\ ext'
check _tarmix tarmix '--simulate=small-alder\ ' : '--simulate=small-alder\ ext'
check _tarmix tarmix --simulate = 'alder\ e' : 'alder\ ext'

[ "$failures" -eq 0 ] || exit 1
echo "completion test: passed"
