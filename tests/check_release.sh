#!/usr/bin/env bash
# scripts/release.sh on scratch clones of the committed tree (HEAD), never in this work tree,
# so the developer's own dist/ and build/ stay as they are:
#  - refused, with one line and a non-zero exit, leaving no dist/: a change not committed, and
#    a CHANGELOG.md without the version;
#  - made: the four files, the zip holding exactly its four files with the DLL the tests ran
#    (when the work tree's product sources are the committed ones), the debug zip its one file,
#    SHA256SUMS that sha256sum -c accepts, README.txt with Windows line ends that agrees with
#    README.md and the plug-in's sources on the version and the settings keys;
#  - a second run in another folder, another time zone and another umask gives the same bytes.
#
#   check_release.sh VERSION DLL    (VERSION: the project's, from CMake; DLL: build/x86/gen_quorvel.dll)
set -u
version=$1 built_dll=$2
ROOT=$(cd "$(dirname "$0")/.." && pwd)
fail() { echo "FAIL: $*"; [ -z "${second:-}" ] || wait "$second"; exit 1; }
head=$(git -C "$ROOT" rev-parse HEAD 2>/dev/null) || { echo "skipped: $ROOT is no git checkout"; exit 77; }
[ -z "$(git -C "$ROOT" status --porcelain)" ] ||
    echo "note: this work tree has changes that are not committed; what is checked is HEAD, $head"
work=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-release-check.XXXXXX")
trap 'rm -rf "$work"' EXIT
started=$(date +%s)

clone() {  # DIR: HEAD alone, checked out in DIR
    git init -q "$1" && git -C "$1" fetch -q --depth 1 "file://$ROOT" "$head" &&
        git -C "$1" checkout -q FETCH_HEAD || fail "cannot clone $head into $1"
}
commit_all() {  # DIR MESSAGE
    git -C "$1" -c user.name=check -c user.email=check@localhost commit -q -a -m "$2"
}
refused() {  # DIR WHAT: release.sh must refuse in one line and leave no release behind
    local err=$work/refusal.txt
    if "$1/scripts/release.sh" >/dev/null 2>"$err"; then fail "a release was made with $2"; fi
    [ "$(wc -l <"$err")" -eq 1 ] || fail "the refusal of $2 is not one line: $(cat "$err")"
    [ -z "$(ls -A "$1/dist" 2>/dev/null)" ] || fail "the refusal of $2 left files in dist/: $(ls -A "$1/dist")"
    ls -d "$1"/.dist-new.* >/dev/null 2>&1 && fail "the refusal of $2 left $(ls -d "$1"/.dist-new.*)"
    echo "ok: refused $2: $(cat "$err")"
}

# Two clones; the second one's release runs meanwhile, in another folder, time zone and umask.
a=$work/a/quorvel b=$work/second-checkout-with-a-longer-name/src/quorvel
clone "$a"
clone "$b"
(umask 077 && TZ=Pacific/Kiritimati "$b/scripts/release.sh") >"$work/release2.txt" 2>&1 &
second=$!

echo "# a change" >>"$a/README.md"
refused "$a" "a change not committed"
git -C "$a" checkout -q -- README.md
sed -i "/^## ${version//./\\.} - /d" "$a/CHANGELOG.md"
commit_all "$a" "the version's entry taken out"
refused "$a" "no entry for $version in CHANGELOG.md"
git -C "$a" reset -q --hard "$head"

# ---- A release ----------------------------------------------------------------------------------
"$a/scripts/release.sh" >"$work/release.txt" 2>&1 || fail "release.sh failed on $head: $(cat "$work/release.txt")"
dist=$a/dist
files="quorvel-$version-setup.exe quorvel-$version.zip quorvel-$version-debug.zip SHA256SUMS"
[ "$(ls "$dist" | sort)" = "$(echo $files | tr ' ' '\n' | sort)" ] || fail "dist/ holds $(ls "$dist" | tr '\n' ' ')"
(cd "$dist" && sha256sum -c --quiet SHA256SUMS) || fail "sha256sum -c SHA256SUMS failed"
[ "$(wc -l <"$dist/SHA256SUMS")" -eq 3 ] || fail "SHA256SUMS does not hold three sums"

listing() { 7zz l -ba -slt "$1" | sed -n 's/^Path = //p' | tr '\n' ' '; }
[ "$(listing "$dist/quorvel-$version.zip")" = "gen_quorvel.dll README.txt LICENSE.txt CHANGELOG.txt " ] ||
    fail "quorvel-$version.zip holds $(listing "$dist/quorvel-$version.zip")"
[ "$(listing "$dist/quorvel-$version-debug.zip")" = "gen_quorvel.dll.debug " ] ||
    fail "quorvel-$version-debug.zip holds $(listing "$dist/quorvel-$version-debug.zip")"
# Every entry as two runs elsewhere would write it: no extra fields (owners, more times), mode
# 0644, and the commit's time in UTC (a zip counts time in steps of 2 s).
epoch=$(git -C "$a" log -1 --format=%ct HEAD)
for zip in "$dist/quorvel-$version.zip" "$dist/quorvel-$version-debug.zip"; do
    7zz l -slt "$zip" | awk -F' = ' '/^Path = / { p = $2 } /^Modified = / { m = $2 }
        /^Attributes = / { a = $2 } /^Characteristics = / { print p "|" m "|" a "|" $2 }' >"$work/entries"
    while IFS='|' read -r path modified attributes extras; do
        [ -z "$extras" ] || fail "$(basename "$zip"): $path has extra fields: $extras"
        case "$attributes" in *-rw-r--r--) ;; *) fail "$(basename "$zip"): $path has mode $attributes" ;; esac
        late=$(( $(TZ=UTC0 date -d "$modified" +%s) - epoch ))
        [ "$late" -ge 0 ] && [ "$late" -le 2 ] ||
            fail "$(basename "$zip"): $path is dated $modified, not at the commit's $(TZ=UTC0 date -d "@$epoch" '+%F %T') UTC"
    done <"$work/entries"
done

unpacked=$work/unpacked
7zz x -o"$unpacked" "$dist/quorvel-$version.zip" >/dev/null || fail "cannot unpack quorvel-$version.zip"

# The DLL the tests ran is the released one, as long as the work tree builds what HEAD holds.
if [ -z "$(git -C "$ROOT" status --porcelain -- CMakeLists.txt cmake plugin)" ]; then
    cmp -s "$unpacked/gen_quorvel.dll" "$built_dll" || fail "the zip's gen_quorvel.dll is not $built_dll"
    echo "ok: the zip's gen_quorvel.dll is $built_dll"
else
    echo "note: the product's sources here differ from HEAD; the zip's DLL was not compared with $built_dll"
fi

# README.txt, for the player's users, and README.md: the same version and settings keys.
readme_txt=$unpacked/README.txt
awk '!/\r$/ { exit 1 }' "$readme_txt" || fail "README.txt has a line without a Windows line end"
for text in CHANGELOG.txt LICENSE.txt; do
    awk '!/\r$/ { exit 1 }' "$unpacked/$text" || fail "$text has a line without a Windows line end"
done
grep -q "^$version - " "$unpacked/CHANGELOG.txt" || fail "CHANGELOG.txt has no entry for $version"
versions() { grep -oiE '(quorvel-|quorvel v?|quorvel plug-in |version )[0-9]+\.[0-9]+' "$1" | grep -oE '[0-9.]+$' | sort -u | tr '\n' ' '; }
keys() { grep -oE '\bcfg_[a-z]+' "$@" | sort -u | tr '\n' ' '; }
for readme in "$a/README.md" "$readme_txt"; do
    [ "$(versions "$readme")" = "$version " ] ||
        fail "$(basename "$readme") names version(s) $(versions "$readme")where $version is the project's"
done
source_keys=$(grep -rhoE '"cfg_[a-z]+"' "$a/plugin" | tr -d '"' | sort -u | tr '\n' ' ')
[ -n "$source_keys" ] || fail "no settings keys found in plugin/"
for readme in "$a/README.md" "$readme_txt"; do
    [ "$(keys "$readme")" = "$source_keys" ] ||
        fail "$(basename "$readme") names the keys $(keys "$readme")where the plug-in has $source_keys"
done
echo "ok: release $version: $(echo $files), the zip holds its four files, the sums check, README.txt agrees on $version and $source_keys"

# ---- The same bytes from the second run -----------------------------------------------------------
wait "$second" || fail "the second run failed: $(cat "$work/release2.txt")"
for file in $files; do
    cmp -s "$a/dist/$file" "$b/dist/$file" || fail "$file differs between two runs on $head"
done
echo "ok: a second run in another folder, time zone and umask gave the same bytes ($(( $(date +%s) - started )) s in all)"
