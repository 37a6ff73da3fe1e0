#!/usr/bin/env bash
# An install under a prefix of the user's choosing keeps the stand-in editor off PATH, in the
# folder the installed viewer looks in relative to its own, and carries what Debian's checker and
# software centres look for.
# Usage: install_layout_test.sh <build folder> <helper folder relative to bin> <version>
set -u
build=$1
helpers=$2
version=$3
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

share=$tmp/prefix/share
for page in ini-file-parser ini-outline; do
    gzip -t "$share/man/man1/$page.1.gz" 2>/dev/null || fail "no manual page for $page"
done
doc=$share/doc/ini-file-parser
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
    "$doc/copyright" 2>/dev/null || fail "no machine-readable copyright file"
first=$(gzip -dc "$doc/changelog.gz" 2>/dev/null | head -n 1)
[[ $first == "ini-file-parser ($version) "* ]] ||
    fail "the changelog's latest entry is not for version $version: '$first'"

# Software centres tie the metadata to the desktop entry through the id in both names.
desktop=("$share"/applications/*.desktop)
id=$(basename "${desktop[0]}" .desktop)
metainfo=$share/metainfo/$id.metainfo.xml
if [[ ${#desktop[@]} -ne 1 || ! -f $metainfo ]]; then
    fail "no metadata $metainfo for the one desktop entry"
else
    grep -q "<id>$id</id>" "$metainfo" || fail "the metadata's id is not $id"
    grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
        fail "the metadata does not launch $id.desktop"
    grep -q "<release version=\"$version\"" "$metainfo" ||
        fail "the metadata lists no release $version"
    if command -v appstreamcli >/dev/null; then
        appstreamcli validate --no-net "$metainfo" >"$tmp/validate" 2>&1 ||
            fail "appstreamcli rejects the metadata: $(cat "$tmp/validate")"
    fi
fi
[[ $failures -eq 0 ]] && echo "install layout: all checks passed"
exit $((failures > 0))
