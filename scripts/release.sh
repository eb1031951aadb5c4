#!/usr/bin/env bash
# Makes a release of the plug-in from the committed sources.
#
#   scripts/release.sh           builds the product (the lean 32-bit DLL and its installer, the
#                                product-only build) from HEAD and writes dist/:
#       quorvel-VERSION-setup.exe   the installer
#       quorvel-VERSION.zip         gen_quorvel.dll, README.txt, LICENSE.txt, CHANGELOG.txt
#       quorvel-VERSION-debug.zip   gen_quorvel.dll.debug, to map a crash address to a line
#       SHA256SUMS                  the three files' sums, as `sha256sum -c` reads them
#   scripts/release.sh --stamp   turns the "Unreleased" heading of CHANGELOG.md into VERSION and
#                                today's date, under a new empty "Unreleased"; commit that,
#                                then make the release
#
# VERSION is the one in CMakeLists.txt. A release is refused, with one line on stderr and exit
# status 1, when the work tree has changes that are not committed (untracked files count),
# when CHANGELOG.md has no entry "## VERSION - YYYY-MM-DD", and when the DLL fails a product
# check (its imports against what Windows 2000 exports, its PE layout). Everything is made in
# a temporary folder and dist/ is replaced only at the end, so a refusal leaves dist/ as it
# was. Two runs on one commit give the same bytes, wherever and whenever they run: the files'
# times are the commit's (the installer stores the DLL's, the zips store every file's, in UTC),
# the zips hold their files in a fixed order with fixed permissions and without the extra
# fields that carry owners and more times.
#
# README.txt and CHANGELOG.txt, with Windows line ends, are made from README.md and
# CHANGELOG.md: README.txt from the README's title and first paragraphs and its sections
# "Getting and installing a release", "What it does" and "The installer" (the parts for a
# player's user), CHANGELOG.txt from the released versions' entries.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

refuse() { echo "release: refused: $*" >&2; exit 1; }

version=$(sed -n 's/^project(Quorvel VERSION \([0-9][0-9.]*\)[ )].*/\1/p' CMakeLists.txt)
[ -n "$version" ] || refuse "no version in the project() line of CMakeLists.txt"
entry_re="^## ${version//./\\.} - [0-9]{4}-[0-9]{2}-[0-9]{2}\$"

# The lines under "## Unreleased", up to the next version's heading.
unreleased_lines() {
    awk '/^## / { inside = ($0 == "## Unreleased"); next } inside && /^[-*] /' CHANGELOG.md
}

if [ "${1:-}" = --stamp ]; then
    [ -f CHANGELOG.md ] || refuse "there is no CHANGELOG.md"
    grep -qx '## Unreleased' CHANGELOG.md || refuse "CHANGELOG.md has no \"## Unreleased\" heading"
    ! grep -qE "$entry_re" CHANGELOG.md ||
        refuse "CHANGELOG.md already has an entry for $version: set the next version in CMakeLists.txt first"
    [ -n "$(unreleased_lines)" ] || refuse "CHANGELOG.md has nothing under \"## Unreleased\""
    today=$(date -u +%F)
    sed -i "s/^## Unreleased\$/## Unreleased\n\n## $version - $today/" CHANGELOG.md
    echo "release: CHANGELOG.md: the lines under Unreleased are now version $version of $today;" \
         "commit it, then run scripts/release.sh"
    exit 0
fi
if [ $# -gt 0 ]; then
    sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
    exit 2
fi

# ---- What may be released ---------------------------------------------------------------------
git rev-parse --is-inside-work-tree >/dev/null 2>&1 ||
    refuse "$ROOT is not a git work tree; a release is made from committed sources"
changes=$(git status --porcelain --untracked-files=all)
if [ -n "$changes" ]; then
    more=$(( $(echo "$changes" | wc -l) - 1 ))
    refuse "the work tree has changes that are not committed: $(echo "$changes" | head -n 1 | cut -c4-)$(
        [ "$more" -eq 0 ] || echo " and $more more")"
fi
[ -f CHANGELOG.md ] && grep -qE "$entry_re" CHANGELOG.md ||
    refuse "CHANGELOG.md has no entry for $version (a heading \"## $version - YYYY-MM-DD\"; scripts/release.sh --stamp makes it from \"Unreleased\")"
if [ -n "$(unreleased_lines)" ]; then
    echo "release: note: CHANGELOG.md has lines under \"Unreleased\"; they are not part of $version" >&2
fi

for tool in cmake ninja makensis zip sha256sum i686-w64-mingw32-g++-win32 i686-w64-mingw32-objdump; do
    command -v "$tool" >/dev/null 2>&1 || { scripts/setup.sh; break; }
done

commit=$(git rev-parse --short=12 HEAD)
epoch=$(git log -1 --format=%ct HEAD)
work=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-release.XXXXXX")
stage=
trap 'rm -rf "$work" ${stage:+"$stage"}' EXIT

# ---- The product, built from HEAD --------------------------------------------------------------
# The committed files only, in a folder of their own: nothing left beside them in the work
# tree (an ignored file, an earlier build) can reach the release.
mkdir "$work/src"
git archive --format=tar HEAD | tar -xf - -C "$work/src"
src=$work/src build=$work/build
# SOURCE_DATE_EPOCH: the time the installer stores for the DLL it carries.
if ! SOURCE_DATE_EPOCH=$epoch cmake -S "$src" -B "$build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$src/cmake/i686-w64-mingw32-win32.cmake" \
        -DCMAKE_BUILD_TYPE=MinSizeRel -DQUORVEL_DLL_ONLY=ON >"$work/build.log" 2>&1 ||
   ! SOURCE_DATE_EPOCH=$epoch cmake --build "$build" >>"$work/build.log" 2>&1; then
    tail -n 20 "$work/build.log" >&2
    refuse "the product did not build"
fi
for file in gen_quorvel.dll gen_quorvel.dll.debug quorvel-setup.exe; do
    [ -f "$build/$file" ] || refuse "the build made no $file"
done

# The checks of the shipped file that need no Wine: its PE layout and its imports.
product_check() {  # NAME COMMAND...
    local name=$1 out
    shift
    out=$("$@" 2>&1) ||
        refuse "gen_quorvel.dll fails $name: $(echo "$out" | grep -m 1 'FAIL' || echo "$out" | tail -n 1)"
}
product_check "the PE layout check" sh "$src/tests/check_pe.sh" "$build/gen_quorvel.dll" i686-w64-mingw32 "$version"
product_check "the Windows 2000 imports check" \
    sh "$src/tests/check_imports.sh" "$build/gen_quorvel.dll" "$src/tests/win2000-imports.txt"

# ---- The texts for users ------------------------------------------------------------------------
# Markdown to plain text: headings underlined, pictures and HTML left out, code marks and
# link targets dropped, tables as aligned columns. KEEP picks the "## " sections by title;
# PREAMBLE says whether the text before the first of them goes too, under TITLE. Ends
# with status 3 when a title in REQUIRE (separated by "|") has no section.
to_text() {  # FILE TITLE PREAMBLE KEEP [REQUIRE]
    awk -v title="$2" -v preamble="$3" -v keep="$4" -v require="${5:-}" '
    function inline(s,   start, text) {
        gsub(/`/, "", s)
        gsub(/\*\*/, "", s)
        while (match(s, /\[[^][]*\]\([^()]*\)/)) {
            text = substr(s, RSTART + 1)
            text = substr(text, 1, index(text, "](") - 1)
            s = substr(s, 1, RSTART - 1) text substr(s, RSTART + RLENGTH)
        }
        return s
    }
    function out(line) {
        sub(/[ \t]+$/, "", line)
        if (line == "" && (blank || !printed)) return
        print line
        blank = (line == ""); printed = 1
    }
    function underline(s, c,   u) {
        u = s; gsub(/./, c, u)
        out(s); out(u)
    }
    function pad(s, n, c) {
        while (length(s) < n) s = s c
        return s
    }
    # Each row on a line of aligned columns, the last column wrapped to fit 92 characters.
    function flush_table(   r, c, line, start, room, last, n, w, i, text) {
        start = 3
        for (c = 1; c < cols[1]; c++) start += 2 + width[c]
        room = 92 - start - 2
        if (room < 30) room = 30
        last = width[cols[1]] < room ? width[cols[1]] : room
        for (r = 1; r <= rows; r++) {
            line = "   "
            for (c = 1; c < cols[r]; c++) line = line "  " pad(cells[r, c], width[c], " ")
            n = split(cells[r, cols[r]], w, " ")
            text = ""
            for (i = 1; i <= n; i++) {
                if (text != "" && length(text) + 1 + length(w[i]) > room) {
                    out(line "  " text)
                    line = pad("", start, " ")
                    text = ""
                }
                text = text (text == "" ? "" : " ") w[i]
            }
            out(line "  " text)
            if (r == 1) {
                line = "   "
                for (c = 1; c < cols[1]; c++) line = line "  " pad("", width[c], "-")
                out(line "  " pad("", last, "-"))
            }
        }
        rows = 0
        split("", width)
    }
    BEGIN {
        ORS = "\r\n"; inside = preamble + 0
        underline(title, "=")
        n = split(require, needed, "|")
        for (i = 1; i <= n; i++) missing[needed[i]] = 1
    }
    /^\|/ {
        if (!inside) next
        if ($0 ~ /^\|[-|: ]+\|?$/) next
        line = inline($0)
        sub(/^\| */, "", line); sub(/ *\|$/, "", line)
        rows++
        cols[rows] = split(line, part, / *\| */)
        for (c = 1; c <= cols[rows]; c++) {
            cells[rows, c] = part[c]
            if (length(part[c]) > width[c]) width[c] = length(part[c])
        }
        next
    }
    rows { flush_table() }
    /^# / { next }
    /^## / {
        heading = substr($0, 4)
        inside = (heading ~ keep)
        if (inside) { delete missing[heading]; out(""); underline(inline(heading), "-") }
        next
    }
    !inside { next }
    /^### / { out(""); out(inline(substr($0, 5)) ":"); next }
    /^(!\[|<)/ { next }
    { out(inline($0)) }
    END {
        if (rows) flush_table()
        for (m in missing) { print "no section \"" m "\"" > "/dev/stderr"; exit 3 }
    }' "$1"
}
# A text with characters beyond ASCII gets the UTF-8 byte order mark, by which Notepad knows
# the encoding.
with_mark() {  # FILE
    if LC_ALL=C grep -q '[^[:print:][:space:]]' "$1"; then
        { printf '\357\273\277'; cat "$1"; } >"$1.marked" && mv "$1.marked" "$1"
    fi
}

files=$work/files
mkdir "$files"
cp "$build/gen_quorvel.dll" "$build/gen_quorvel.dll.debug" "$files/"
readme_sections="Getting and installing a release|What it does|The installer"
to_text "$src/README.md" "Quorvel $version" 1 "^($readme_sections)\$" "$readme_sections" \
    >"$files/README.txt" 2>"$work/readme.log" ||
    refuse "README.txt cannot be made from README.md: $(head -n 1 "$work/readme.log")"
to_text "$src/CHANGELOG.md" "Quorvel: what changed in each version, newest first" 0 '^[0-9]' \
    >"$files/CHANGELOG.txt"
sed 's/\r*$/\r/' "$src/LICENSE" >"$files/LICENSE.txt"
for text in README.txt CHANGELOG.txt LICENSE.txt; do with_mark "$files/$text"; done

# ---- dist/ ----------------------------------------------------------------------------------------
# Fixed permissions and the commit's time on every file that goes into a zip; zip writes
# times as local time, so it runs in UTC. -X leaves out the extra fields (owner, group, more
# times), -D the folder entries.
chmod 0644 "$files"/*
touch -d "@$epoch" "$files"/*
out=$work/dist
mkdir "$out"
zip_files() {  # ZIP FILE...
    local name=$1
    shift
    (cd "$files" && TZ=UTC0 zip -q -X -D -9 "$out/$name" "$@")
}
zip_files "quorvel-$version.zip" gen_quorvel.dll README.txt LICENSE.txt CHANGELOG.txt
zip_files "quorvel-$version-debug.zip" gen_quorvel.dll.debug
cp "$build/quorvel-setup.exe" "$out/quorvel-$version-setup.exe"
shipped=("quorvel-$version-setup.exe" "quorvel-$version.zip" "quorvel-$version-debug.zip")
(cd "$out" && sha256sum "${shipped[@]}" >SHA256SUMS)
chmod 0644 "$out"/*
touch -d "@$epoch" "$out"/*

# Into place: the new release is complete before dist/ changes, and the last step is a rename.
stage=$(mktemp -d "$ROOT/.dist-new.XXXXXX")
cp -p "$out"/* "$stage/"
chmod 0755 "$stage"
rm -rf "$ROOT/dist"
mv "$stage" "$ROOT/dist"
stage=

echo "release: Quorvel $version from commit $commit ($(TZ=UTC0 date -d "@$epoch" '+%Y-%m-%d %H:%M UTC')), in dist/:"
for file in "${shipped[@]}" SHA256SUMS; do
    printf '  %-28s %9s bytes  %s\n' "$file" "$(stat -c %s "dist/$file")" \
        "$(sha256sum "dist/$file" | cut -d' ' -f1)"
done
