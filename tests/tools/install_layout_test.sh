#!/usr/bin/env bash
# An install under a prefix of the user's choosing keeps the stand-in editor off PATH, in the
# folder the installed viewer looks in relative to its own.
# Usage: install_layout_test.sh <build folder> <helper folder relative to bin>
set -u
build=$1
helpers=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if ! cmake --install "$build" --prefix "$tmp/prefix" >"$tmp/log" 2>&1; then
    cat "$tmp/log"
    exit 1
fi
bin=$tmp/prefix/bin
for program in ini-file-parser ini-outline; do
    [[ -x $bin/$program ]] || fail "$program is not in bin/"
done
[[ -e $bin/notepad ]] && fail "notepad is installed in bin/, where it clashes with other programs"
[[ -x $bin/$helpers/notepad ]] || fail "notepad is not at bin/$helpers/notepad"
[[ $failures -eq 0 ]] && echo "install layout: all checks passed"
exit $((failures > 0))
