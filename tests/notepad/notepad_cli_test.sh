#!/usr/bin/env bash
# The editor's own command line: help and version are answered without a display; any other
# argument is the file. Usage: notepad_cli_test.sh <notepad> <version>
set -u
notepad=$1
version=$2
# shellcheck source=../support/check.sh
source "$(dirname "$0")/../support/check.sh"

no_display=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
"${no_display[@]}" "$notepad" --help >"$tmp/out" 2>"$tmp/err"
check "--help exit 0" test $? -eq 0
check "--help text" grep -q "^Usage: notepad \[FILE\]" "$tmp/out"
check "--help needs no display" test ! -s "$tmp/err"
"${no_display[@]}" "$notepad" --version >"$tmp/out" 2>&1
check "version" test "$(cat "$tmp/out")" = "notepad $version"
"$notepad" --help >/dev/full 2>"$tmp/err"
check "--help to a full disk exit 1" test $? -eq 1
check "--help to a full disk reported" grep -q "cannot write" "$tmp/err"

finish
