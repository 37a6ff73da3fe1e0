#!/usr/bin/env bash
# ini-outline as scripts use it: outputs against the checked outlines, exit codes, error text.
set -u
tool=$1
source_dir=$2
# shellcheck source=../support/check.sh
source "$(dirname "$0")/../support/check.sh"

for sample in "$source_dir"/samples/*.ini; do
    name=$(basename "$sample" .ini)
    for mode in "" ".comments" ".top"; do
        args=()
        [[ $mode == .comments ]] && args=(--comments)
        [[ $mode == .top ]] && args=(--top-level)
        "$tool" "${args[@]}" "$sample" >"$tmp/out"
        check "$name$mode exit" test $? -eq 0
        check "$name$mode output" cmp -s "$tmp/out" "$source_dir/tests/golden/$name$mode.outline"
    done
done

# --check: problems as FILE:LINE: warning: MESSAGE in file order, exit 1 when there is any.
printf 'Weapon A\r\nEnd\r\nEnd\r\nObject\tTank\r\nWeapon A\r\nEnd\r\nObject B\r\n' >"$tmp/mistakes.ini"
"$tool" --check "$tmp/mistakes.ini" >"$tmp/out"
check "--check finds problems: exit 1" test $? -eq 1
check "--check lines" test "$(cut -d: -f2 "$tmp/out" | paste -sd,)" = "1,3,4,5,7"
check "--check form" grep -qx "$tmp/mistakes.ini:3: warning: 'End' at line 3 closes no block: none is open here, so it is passed over; the last block, opened at line 1, was closed at line 2: is an End too many in it, or a block name misspelt?" "$tmp/out"
"$tool" --check "$source_dir/samples/Weapons.ini" >"$tmp/out"
check "--check of a sound file: exit 0" test $? -eq 0
check "--check of a sound file: silent" test ! -s "$tmp/out"
# A folder stands for its block files, as a CI job checks a whole mod.
mkdir -p "$tmp/mod/sub"
cp "$tmp/mistakes.ini" "$tmp/mod/sub/b.INI"
cp "$source_dir/samples/Weapons.ini" "$tmp/mod/a.ini"
printf 'End\n' >"$tmp/mod/notes.txt"
"$tool" --check "$tmp/mod" >"$tmp/out"
check "--check of a folder: exit 1" test $? -eq 1
check "--check of a folder: its block files" test "$(cut -d: -f1 "$tmp/out" | sort -u)" = "$tmp/mod/sub/b.INI"
check "--check of a folder: every problem" test "$(wc -l <"$tmp/out")" -eq 5
# A file reached by several paths (the folder, the file in it, the folder spelled again) once.
"$tool" --check "$tmp/mod" "$tmp/mod/sub/b.INI" "$tmp/mod/./sub" >"$tmp/out"
check "--check of a file reached three times: once" test "$(wc -l <"$tmp/out")" -eq 5
"$tool" --check /nonexistent/file.ini >"$tmp/out" 2>"$tmp/err"
check "--check of a missing file: exit 1" test $? -eq 1
check "--check of a missing file: said on stderr" grep -q "No such file or directory" "$tmp/err"
"$tool" --check >"$tmp/out" 2>"$tmp/err"
check "--check without a file: exit 2" test $? -eq 2

# Failures: nothing on stdout, one line naming the path on stderr, exit 1.
for bad in /nonexistent/file.ini "$tmp" /dev/null ""; do
    "$tool" "$bad" >"$tmp/out" 2>"$tmp/err"
    code=$?
    check "'$bad' exit 1" test $code -eq 1
    check "'$bad' no stdout" test ! -s "$tmp/out"
    check "'$bad' one error line" test "$(wc -l <"$tmp/err")" -eq 1
    check "'$bad' names the path" grep -qF "'$bad'" "$tmp/err"
done
"$tool" /nonexistent 2>"$tmp/err"
check "missing file reason" grep -q "No such file or directory" "$tmp/err"

# A path with spaces, quotes and ";" is just a path.
odd="$tmp/a b;'c\" \$(touch pwned).ini"
printf 'Object A\r\n  Speed = 1\r\nEnd\r\n' >"$odd"
check "odd path" test "$("$tool" "$odd")" = "$(printf 'Key_0\tObject A\n  Key_1\tSpeed = 1')"
check "nothing ran" test ! -e pwned -a ! -e "$tmp/pwned"

# Bytes go out as they came in: no re-encoding of 8-bit text, LF-only lines cut too.
printf 'Object Caf\xe9\nEnd\n' >"$tmp/latin1.ini"
check "bytes unchanged" test "$("$tool" "$tmp/latin1.ini" | od -An -c | tr -d ' \n')" = "Key_0\tObjectCaf351\n"

"$tool" --help >"$tmp/out"
check "help exit 0" test $? -eq 0
check "help text" grep -q "Usage: ini-outline" "$tmp/out"
"$tool" --bogus x 2>"$tmp/err"
check "unknown option exit 2" test $? -eq 2
# What went wrong and the forms, not the whole help, so a CI log shows the cause.
check "usage error is short" test "$(wc -l <"$tmp/err")" -le 8
check "usage error names the option" grep -q "unknown option '--bogus'" "$tmp/err"
"$tool" 2>/dev/null
check "no file exit 2" test $? -eq 2
: >"$tmp/empty.ini"
"$tool" "$tmp/empty.ini" >/dev/full 2>"$tmp/err"
check "empty output to a full disk still succeeds" test $? -eq 0
check "empty output to a full disk reports nothing" test ! -s "$tmp/err"
# Output of several MiB: the write fails while the file is still being walked.
for _ in $(seq 20); do cat "$source_dir/samples/BigMap.ini"; done >"$tmp/bigger.ini"
"$tool" "$tmp/bigger.ini" >/dev/full 2>"$tmp/err"
check "write failure exit 1" test $? -eq 1
check "write failure reported" grep -q "cannot write" "$tmp/err"

# Several files: every line starts with the file's path and a TAB; a file that cannot be read is
# reported and the others are still printed, with exit status 1.
printf 'Weapon Gun\r\nEnd\r\n' >"$tmp/one.ini"
printf 'Object A\r\n  Speed = 1\r\nEnd\r\n' >"$tmp/two.ini"
"$tool" "$tmp/one.ini" "$tmp/missing.ini" "$tmp/two.ini" >"$tmp/out" 2>"$tmp/err"
check "several files exit 1 for the missing one" test $? -eq 1
check "several files output" test "$(cat "$tmp/out")" = "$(printf '%s\tKey_0\tWeapon Gun\n%s\tKey_0\tObject A\n%s\t  Key_1\tSpeed = 1' "$tmp/one.ini" "$tmp/two.ini" "$tmp/two.ini")"
check "several files name the missing one" test "$(grep -c "missing.ini" "$tmp/err")" -eq 1
# The buffers go from one file to the next: a file of many pieces and a long line leaves nothing
# in the outline of the small file after it.
{ cat "$tmp/bigger.ini"; printf 'Object Long %*s\nEnd\n' 3000000 x; } >"$tmp/first.ini"
"$tool" "$tmp/first.ini" "$tmp/two.ini" | grep "^$tmp/two.ini"$'\t' | cut -f2- >"$tmp/after"
"$tool" "$tmp/two.ini" >"$tmp/alone"
check "a file after a large one" cmp -s "$tmp/after" "$tmp/alone"

"$tool" --help >/dev/full 2>/dev/null
check "help to a full disk exit 1" test $? -eq 1

# A file a writer keeps appending to ends promptly: read up to its size at open, then either
# printed as it was then or reported as changed; never read for as long as the writer writes.
seq 1 200000 | sed 's/^/Object Unit/; a End' >"$tmp/growing.ini"
(while :; do echo "Object Late"; done >>"$tmp/growing.ini") 2>/dev/null &
writer=$!
timeout 60 "$tool" --top-level "$tmp/growing.ini" >"$tmp/out" 2>"$tmp/err"
code=$?
kill "$writer"
wait "$writer" 2>/dev/null
check "growing file ends promptly" test $code -eq 0 -o $code -eq 1
[[ $code -eq 1 ]] && check "growing file reported as changed" grep -q "changed while it was read" "$tmp/err"

finish
