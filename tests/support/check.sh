# Shared by the shell tests: counts checks, keeps a temporary folder, reports at the end.
# Source it, call check/pass/fail, and end with `finish`.
failures=0
passes=0
pass() { passes=$((passes + 1)); }
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
check() { # name, condition...
    local name=$1
    shift
    if "$@"; then pass; else fail "$name"; fi
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
finish() {
    echo "$passes passed, $failures failed"
    [[ $failures -eq 0 ]]
}
