#!/usr/bin/env bash
# ini-outline over folders: --definitions, --uses and --duplicates against what grep, awk and
# sort make of the same folder; --null; exit statuses.
set -u
tool=$1
# shellcheck source=../support/check.sh
source "$(dirname "$0")/../support/check.sh"
export LC_ALL=C

data=$tmp/data
mkdir -p "$data/sub/deeper" "$data/with space"
printf '%s\n' 'Object Tank ; the first' '  Draw = Tank' '    DefaultConditionState' \
    '      Model = Tank_Hull ; Tank' '    End' '  End' '  Weapon = Tank2,Tank' 'End' \
    'Object Tanker' '  Behavior = Tank' '  End' 'End' 'Object' 'End' 'Weapon Gun' 'End' \
    'x=Tank;' >"$data/Units.ini"
printf 'OBJECT Tank\r\nEnd\r\nweapon Gun ; again\r\nEnd\r\nArmor Plate\r\n  List = Tank\r\nEnd\r\n' \
    >"$data/sub/deeper/More.INI"
printf 'Object Caf\xe9\nEnd\nObject Big Tank\nEnd\nArmor Plate\nEnd\n' >"$data/with space/a b.ini"
# One line of 2 MiB, longer than a piece, with the name at its very end.
{ printf 'Weapon Long\nEnd\nList = '; head -c $((2 << 20)) /dev/zero | tr '\0' 'a'; printf ' Tank\n'; } \
    >"$data/sub/Long.ini"
printf 'Object Tank\nEnd\n' >"$data/notes.txt"
ln -s .. "$data/sub/loop"
ln -s ../Units.ini "$data/sub/link.ini"

# The reference: the files find lists (links not followed), definitions by a walk in awk that
# knows the few block types used here, uses by grep -nw over the text before ';'.
find "$data" -type f -iname '*.ini' | sort >"$tmp/files"
definitions() {
    awk 'BEGIN { top["object"]; top["weapon"]; top["armor"]
                 inner["draw"]; inner["behavior"]; inner["defaultconditionstate"] }
         { c = $0; sub(/\r$/, "", c); sub(/;.*/, "", c); sub(/^ +/, "", c)
           n = split(c, w, / +/); if (w[1] == "") next
           f = tolower(w[1])
           if (f == "end") { if (depth > 0) depth--; next }
           if (depth == 0 && (f in top)) {
               if (n >= 2 && w[2] != "") print FILENAME "\t" FNR "\t" w[1] "\t" w[2]
               depth++
           } else if (depth > 0 && (f in inner)) depth++ }' "$1"
}
uses() { # name file
    sed 's/;.*//' "$2" | grep -nwF -e "$1" | cut -d: -f1 >"$tmp/hits"
    definitions "$2" | awk -F'\t' -v name="$1" '$4 == name { print $2 }' >"$tmp/defining"
    awk -v file="$2" 'FILENAME == ARGV[1] { hit[$1]; next } FILENAME == ARGV[2] { skip[$1]; next }
                      (FNR in hit) && !(FNR in skip) { print file ":" FNR ":" $0 }' \
        "$tmp/hits" "$tmp/defining" "$2" | sed 's/\r$//'
}
while IFS= read -r file; do definitions "$file"; done <"$tmp/files" >"$tmp/definitions"
while IFS= read -r file; do uses Tank "$file"; done <"$tmp/files" >"$tmp/uses"
awk -F'\t' 'NR == FNR { k = tolower($3) " " $4; if (!(k in n)) order[++groups] = k; n[k]++; next }
            { k = tolower($3) " " $4; if (n[k] > 1) text[k] = text[k] $0 "\n" }
            END { for (g = 1; g <= groups; g++) printf "%s", text[order[g]] }' \
    "$tmp/definitions" "$tmp/definitions" >"$tmp/duplicates"

check "the reference holds something of each" test -s "$tmp/definitions" -a -s "$tmp/uses" -a -s "$tmp/duplicates"
"$tool" --definitions "$data" >"$tmp/out"
check "--definitions exit 0" test $? -eq 0
check "--definitions output" cmp -s "$tmp/out" "$tmp/definitions"
"$tool" --uses Tank "$data" >"$tmp/out"
check "--uses exit 0" test $? -eq 0
check "--uses output" cmp -s "$tmp/out" "$tmp/uses"
check "--uses prints a long line whole" test "$(grep -c "Long.ini:3:List = a*a Tank$" "$tmp/out")" -eq 1
"$tool" --duplicates "$data" >"$tmp/out"
check "--duplicates exit 1" test $? -eq 1
check "--duplicates output" cmp -s "$tmp/out" "$tmp/duplicates"

# Files and folders given together are read in one byte order, each once; a link given as the
# path is followed; a file given by name is read whatever its name.
ln -s "$data" "$tmp/link to data"
"$tool" --definitions "$tmp/link to data" >"$tmp/out"
check "a link given is followed" cmp -s "$tmp/out" <(sed "s|^$data/|$tmp/link to data/|" "$tmp/definitions")
"$tool" --definitions "$data/notes.txt" "$data" "$data/Units.ini" >"$tmp/out"
check "paths given together" cmp -s "$tmp/out" <(sort -t "$(printf '\t')" -s -k1,1 "$tmp/definitions" - <<<"$(printf '%s\t1\tObject\tTank' "$data/notes.txt")")
# A file that two of the paths reach (the folder spelled otherwise, or through a link) is read
# once, under the first: a block is never a duplicate of itself.
"$tool" --definitions "$data" "$tmp/link to data" "$data/sub/.." "$data/Units.ini" >"$tmp/out"
check "a file reached twice is read once" cmp -s "$tmp/out" "$tmp/definitions"
"$tool" --duplicates "$data/Units.ini" "$tmp/link to data/Units.ini" >"$tmp/out"
check "a file reached twice holds no duplicates" test $? -eq 0 -a ! -s "$tmp/out"
"$tool" --uses Nowhere "$data" >"$tmp/out"
check "--uses of an unused name: exit 0" test $? -eq 0
check "--uses of an unused name: silent" test ! -s "$tmp/out"
"$tool" --duplicates "$data/Units.ini" >"$tmp/out"
check "--duplicates of a file without any: exit 0" test $? -eq 0
check "--duplicates of a file without any: silent" test ! -s "$tmp/out"

# --null: the path ends with a NUL byte instead of the TAB or ':' after it.
"$tool" --null --definitions "$data" >"$tmp/out"
check "--null --definitions" cmp -s <(tr '\0' '\t' <"$tmp/out") "$tmp/definitions"
check "--null: one NUL a line" test "$(tr -cd '\0' <"$tmp/out" | wc -c)" -eq "$(wc -l <"$tmp/definitions")"
check "--null --uses" cmp -s <("$tool" --null --uses Tank "$data" | tr '\0' ':') "$tmp/uses"
"$tool" --null "$data/Units.ini" "$data/sub/Long.ini" --top-level >"$tmp/out"
check "--null outline: a NUL after the path" test "$(head -c $((${#data} + 11)) "$tmp/out" | od -An -c | tr -d ' \n')" = "$data/Units.ini\\0"
check "--null outline, NULs made TABs" cmp -s <(tr '\0' '\t' <"$tmp/out") <("$tool" --top-level "$data/Units.ini" "$data/sub/Long.ini")

# Failures: reported, the rest still read, exit 1; usage errors exit 2.
reported() { # what, what stderr says, paths besides the folder...
    local what=$1 said=$2
    shift 2
    "$tool" --definitions "$data" "$@" >"$tmp/out" 2>"$tmp/err"
    check "$what: exit 1" test $? -eq 1
    check "$what: said" grep -q "$said" "$tmp/err"
    check "$what: the rest printed" cmp -s "$tmp/out" "$tmp/definitions"
}
reported "a missing path" "missing.ini.*No such file" "$tmp/missing.ini"
printf 'Object Bin\n\0\xff\xfe Tank\x01\nEnd\n' >"$tmp/binary.ini"
"$tool" --uses Tank "$tmp/binary.ini" >"$tmp/out"
check "binary bytes: exit 0" test $? -eq 0
check "binary bytes: the line as it is" cmp -s "$tmp/out" <(printf '%s:2:\0\xff\xfe Tank\x01\n' "$tmp/binary.ini")
if [[ $(id -u) -ne 0 ]]; then
    mkdir "$tmp/shut" && chmod 000 "$tmp/shut"
    reported "a folder that cannot be read" "Cannot list.*shut" "$tmp/shut"
    chmod 700 "$tmp/shut"
fi
for args in "--uses" "--uses ''" "--definitions" "--duplicates" "--check --uses Tank $data" \
    "--definitions --bogus $data" "--uses Tank --uses Gun $data" "--top-level --definitions $data" \
    "--comments --check $data"; do
    eval "\"\$tool\" $args" >/dev/null 2>"$tmp/err"
    check "'$args' exit 2" test $? -eq 2
    check "'$args' says why" test -s "$tmp/err"
done
"$tool" --definitions "$data" >/dev/full 2>"$tmp/err"
check "a full disk: exit 1" test $? -eq 1
check "a full disk: said" grep -q "cannot write" "$tmp/err"

finish
