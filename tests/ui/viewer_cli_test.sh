#!/usr/bin/env bash
# The viewer's command line: help and version (answered without a display), their write
# failures, usage errors. Usage: viewer_cli_test.sh <ini-file-parser> <version>
set -u
viewer=$1
version=$2
# shellcheck source=../support/check.sh
source "$(dirname "$0")/../support/check.sh"

for option in --help -h; do
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$viewer" "$option" >"$tmp/out" 2>"$tmp/err"
    check "$option exit 0" test $? -eq 0
    check "$option text" grep -q "^Usage: ini-file-parser \[--folder DIR\] \[FILE\]" "$tmp/out"
    check "$option needs no display" test ! -s "$tmp/err"
done
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$viewer" --version >"$tmp/out" 2>&1
check "version exit 0" test $? -eq 0
check "version text" test "$(cat "$tmp/out")" = "ini-file-parser $version"

for option in --help --version; do
    "$viewer" "$option" >/dev/full 2>"$tmp/err"
    check "$option to a full disk exit 1" test $? -eq 1
    check "$option to a full disk reported" grep -q "cannot write" "$tmp/err"
done

# Usage errors end before any window opens, with the reason and the usage on stderr; they need
# no display either.
usage_error() { # name, expected text, arguments...
    local name=$1 text=$2
    shift 2
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$viewer" "$@" >"$tmp/out" 2>"$tmp/err"
    check "$name exit 2" test $? -eq 2
    check "$name reason" grep -qF -- "$text" "$tmp/err"
    check "$name no stdout" test ! -s "$tmp/out"
}
usage_error "two files" "at most one file" a.ini b.ini
usage_error "unknown option" "unknown option '--bogus'" --bogus a.ini
usage_error "empty file name" "file name is empty" ""
usage_error "folder without a folder" "--folder needs a folder" --folder
usage_error "empty folder" "--folder needs a folder" --folder ""
usage_error "missing folder" "--folder '$tmp/gone': No such file or directory" --folder "$tmp/gone"
: >"$tmp/a.ini"
usage_error "folder that is a file" "--folder '$tmp/a.ini' is not a folder" --folder "$tmp/a.ini"
QT_QPA_PLATFORM=offscreen "$viewer" -platform offscreen --bogus >"$tmp/out" 2>"$tmp/err"
check "unknown option after the window system's own exit 2" test $? -eq 2

# Ended by a signal (a logout), the viewer closes as for the user: the file shown is remembered,
# and the signal still ends the process. Sent as soon as the handler is in place.
catches_sigterm() {
    local mask
    mask=$(awk '/^SigCgt:/ { print $2 }' "/proc/$1/status" 2>/dev/null) || return 1
    [[ -n $mask ]] && (((16#$mask >> 14) & 1))
}
HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" QT_QPA_PLATFORM=offscreen "$viewer" "$tmp/a.ini" \
    >/dev/null 2>&1 &
pid=$!
for ((i = 0; i < 3000; i++)); do # up to a minute
    catches_sigterm "$pid" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.02
done
kill -TERM "$pid"
wait "$pid"
check "SIGTERM ends the viewer by that signal" test $? -eq 143
check "SIGTERM remembers the file shown" grep -qxF "lastfile=$tmp/a.ini" \
    "$tmp/config/ini-file-parser/ini-file-parser.conf"

finish
