#!/usr/bin/env bash
# Bad input for ini-outline: every case ends in a clear error or a correct outline, never a
# crash, a hang or lost output. Usage: bad_input_test.sh <ini-outline> [--sanitized]
set -u
tool=$1
sanitized=${2:-}
# shellcheck source=../support/check.sh
source "$(dirname "$0")/../support/check.sh"

# run NAME EXPECTED_EXIT [args...]: runs the tool with a time limit, keeps stdout and stderr.
run() {
    local name=$1 expected=$2
    shift 2
    timeout 60 "$tool" "$@" >"$tmp/out" 2>"$tmp/err"
    local code=$?
    if [[ $code -eq 124 ]]; then
        fail "$name: hung"
    elif [[ $code -ne $expected ]]; then
        fail "$name: exit $code, expected $expected ($(head -c 300 "$tmp/err"))"
    else
        pass
    fi
}
error_says() { # name, text the error must hold
    if grep -qF -- "$2" "$tmp/err" && [[ ! -s $tmp/out ]] && [[ $(wc -l <"$tmp/err") -eq 1 ]]; then
        pass
    else
        fail "$1: error should say '$2' on one line with nothing on stdout: $(cat "$tmp/err")"
    fi
}
output_is() { # name, expected stdout
    if [[ "$(cat "$tmp/out")" == "$2" ]]; then pass; else fail "$1: got $(head -c 300 "$tmp/out")"; fi
}
lines_are() { # name, expected number of output lines
    local got
    got=$(wc -l <"$tmp/out")
    if [[ $got -eq $2 ]]; then pass; else fail "$1: $got output lines, expected $2"; fi
}

run "empty path" 1 ""
error_says "empty path" "no file name given"
run "missing file" 1 "$tmp/missing.ini"
error_says "missing file" "No such file or directory"
run "folder" 1 "$tmp"
error_says "folder" "it is a folder"
mkfifo "$tmp/fifo.ini"
run "fifo" 1 "$tmp/fifo.ini"
error_says "fifo" "not a regular file"
run "device" 1 /dev/zero
error_says "device" "not a regular file"
run "line break in the name" 1 "$tmp/two"$'\n'"lines.ini"
error_says "line break in the name" "two\\nlines.ini': No such file"
# A virtual file reads as empty yet holds lines: they are printed, not a silent empty outline.
run "size reads as 0" 0 /proc/self/status
if grep -q $'^Key_0\tName:' "$tmp/out"; then pass; else fail "size reads as 0: got $(head -c 200 "$tmp/out")"; fi
# One that never ends for a text (pagemap covers the whole address space) is refused soon,
# before it has taken the memory it would fill.
if [[ -r /proc/self/pagemap ]]; then
    run "virtual file without end" 1 /proc/self/pagemap
    error_says "virtual file without end" "holds more than 16 MiB"
fi

printf 'Object A\r\nEnd\r\n' >"$tmp/locked.ini"
chmod 000 "$tmp/locked.ini"
if [[ $(id -u) -ne 0 ]]; then
    run "unreadable" 1 "$tmp/locked.ini"
    error_says "unreadable" "Permission denied"
elif command -v setpriv >/dev/null; then
    chmod 755 "$tmp"
    setpriv --reuid=65534 --regid=65534 --clear-groups "$tool" "$tmp/locked.ini" >"$tmp/out" 2>"$tmp/err"
    [[ $? -eq 1 ]] && pass || fail "unreadable as nobody: wrong exit"
    error_says "unreadable" "Permission denied"
else
    echo "SKIP: unreadable file: running as root without setpriv, root reads every file"
fi

: >"$tmp/empty.ini"
run "empty file" 0 "$tmp/empty.ini"
output_is "empty file" ""

head -c 10000000 /dev/urandom >"$tmp/random.ini"
head -c 100000 /dev/zero >>"$tmp/random.ini"
run "10 MB random bytes with NULs" 0 "$tmp/random.ini"
[[ $(wc -l <"$tmp/out") -le $(($(tr -cd '\r\n' <"$tmp/random.ini" | wc -c) + 1)) ]] && pass ||
    fail "random bytes: more nodes than lines"

head -c 50000000 /dev/zero | tr '\0' 'a' >"$tmp/oneline.ini"
run "one 50 MB line without terminator" 0 "$tmp/oneline.ini"
lines_are "one 50 MB line" 1

yes End | head -n 1000000 >"$tmp/ends.ini"
run "a million stray End lines" 0 "$tmp/ends.ini"
output_is "a million stray End lines" ""

{ echo "Object Tower"; yes "Object Tower" | head -n 999999; } >"$tmp/openers.ini"
run "a million openers without End" 0 "$tmp/openers.ini"
lines_are "a million openers without End" 1000000

run "a million openers without End, top level" 0 --top-level "$tmp/openers.ini"
output_is "a million openers without End, top level" "$(printf 'Key_0\tObject Tower')"

expected=$(printf 'Key_0\tObject A\n  Key_1\tDraw = D\n    Key_2\tDefaultConditionState\n      Key_3\tModel = M')
for ends in 'cr:\r' 'lf:\n' 'crlf:\r\n'; do
    name=${ends%%:*}
    sep=${ends#*:}
    printf "Object A${sep}Draw = D${sep}DefaultConditionState${sep}Model = M${sep}End${sep}End${sep}End${sep}" >"$tmp/$name.ini"
    run "$name line ends" 0 "$tmp/$name.ini"
    output_is "$name line ends" "$expected"
done
printf 'Object A\rDraw = D\nDefaultConditionState\r\nModel = M\n\rEnd' >"$tmp/mixed.ini"
run "mixed line ends" 0 "$tmp/mixed.ini"
output_is "mixed line ends" "$expected"

printf '\xef\xbb\xbfObject A\r\n  Speed = 1\r\nEnd\r\n' >"$tmp/bom.ini"
run "byte order mark" 0 "$tmp/bom.ini"
output_is "byte order mark" "$(printf 'Key_0\tObject A\n  Key_1\tSpeed = 1')"

printf 'Object \xc3\x28\xff\r\n  Name = \xe9t\xe9\r\nEnd\r\n' >"$tmp/invalid.ini"
run "invalid UTF-8" 0 "$tmp/invalid.ini"
output_is "invalid UTF-8" "$(printf 'Key_0\tObject \xc3\x28\xff\n  Key_1\tName = \xe9t\xe9')"

odd="$tmp/odd name; 'quoted' \"double\" \$(echo x)
second line.ini"
printf 'Weapon Gun\r\n  Damage = 5\r\nEnd\r\n' >"$odd"
run "path with spaces, quotes, ; and a newline" 0 "$odd"
output_is "odd path" "$(printf 'Key_0\tWeapon Gun\n  Key_1\tDamage = 5')"

if [[ $sanitized == --sanitized ]]; then
    echo "SKIP: memory limit: AddressSanitizer needs far more address space than the limit"
else
    # One line larger than the memory allowed is printed as it is read: key, TAB, line, LF.
    truncate -s 300M "$tmp/huge.ini"
    printed=$( (ulimit -v 100000 && exec "$tool" "$tmp/huge.ini") 2>"$tmp/err" | wc -c)
    check "line larger than memory: $printed bytes ($(cat "$tmp/err"))" \
        test "$printed" -eq $((300 * 1024 * 1024 + 7))
    # Too little memory for the tool's own few buffers: a clear error.
    (ulimit -v 20000 && exec "$tool" "$tmp/huge.ini") >"$tmp/out" 2>"$tmp/err"
    code=$?
    [[ $code -eq 1 ]] && pass || fail "no memory: exit $code ($(cat "$tmp/err"))"
    error_says "no memory" "not enough memory"
    # --duplicates keeps every definition: short of memory for them, it says so and exits 1.
    python3 -c "import sys; sys.stdout.write(''.join('Weapon G%d\nEnd\n' % i for i in range(2000000)))" \
        >"$tmp/many.ini"
    (ulimit -v 100000 && exec "$tool" --duplicates "$tmp/many.ini") >"$tmp/out" 2>"$tmp/err"
    code=$?
    [[ $code -eq 1 ]] && pass || fail "no memory for duplicates: exit $code ($(cat "$tmp/err"))"
    error_says "no memory for duplicates" "not enough memory"
fi

finish
