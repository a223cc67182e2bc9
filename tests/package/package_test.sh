#!/usr/bin/env bash
# The two Debian packages as cpack builds them from this build tree, unpacked into a scratch root
# (no root rights needed): their names and fields, exactly the files each holds, the command line's
# package free of Qt and the window's depending on it, manual pages, changelog and copyright as
# Debian wants them, hardened programs, a desktop entry that names the package's own program, and
# veskator-cli run from where its package puts it. lintian, where installed, has the last word.
# usage: package_test.sh CPACK BUILD_DIR VERSION CONFIG
set -euo pipefail
cpack="$1" build="$2" version="$3" config="$4"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    fail "cpack did not build the packages"
fi
arch="$(dpkg --print-architecture)"
gui="$work/out/veskator_${version}_${arch}.deb"
cli="$work/out/veskator-cli_${version}_${arch}.deb"
for deb in "$gui" "$cli"; do
    [ -f "$deb" ] || fail "no ${deb##*/}; cpack made: $(cd "$work/out" && ls -- *.deb 2>/dev/null)"
done

field() { dpkg-deb --field "$1" "$2"; }
has_dependency() { [[ ", $1," =~ ,\ ${2}[\ ,] ]]; }
for deb in "$gui" "$cli"; do
    package="$(basename "$deb" | cut -d_ -f1)"
    [ "$(field "$deb" Package)" = "$package" ] || fail "Package: $(field "$deb" Package)"
    [ "$(field "$deb" Version)" = "$version" ] || fail "$package Version: $(field "$deb" Version)"
    [ -n "$(field "$deb" Description | sed -n 2p)" ] || fail "$package has no long description"
done
gui_depends="$(field "$gui" Depends)"
for p in "veskator-cli (= $version)" libqt6core6 libqt6gui6 libqt6widgets6 fonts-liberation \
    iputils-ping net-tools; do
    has_dependency "$gui_depends" "${p//[()=]/\\&}" || fail "veskator's Depends lacks $p: $gui_depends"
done
cli_depends="$(field "$cli" Depends)"
has_dependency "$cli_depends" libstdc\\+\\+6 || fail "veskator-cli's Depends lacks libstdc++6"
if [[ "$cli_depends" =~ (qt|libx|libgl|fonts) ]]; then
    fail "veskator-cli depends on the window's libraries: $cli_depends"
fi

# Exactly what each package holds.
unpack() {
    mkdir -p "$work/$1"
    dpkg-deb --extract "$2" "$work/$1"
    (cd "$work/$1" && find . ! -type d | sed 's|^\./||' | sort)
}
expect() { printf '%s\n' "$@" | sort; }
held="$(unpack gui "$gui")"
want="$(expect usr/bin/veskator usr/share/applications/veskator.desktop \
    usr/share/icons/hicolor/scalable/apps/veskator.svg usr/share/man/man1/veskator.1.gz \
    usr/share/doc/veskator/changelog.gz usr/share/doc/veskator/copyright)"
[ "$held" = "$want" ] || fail "veskator holds:"$'\n'"$held"$'\n'"expected:"$'\n'"$want"
held="$(unpack cli "$cli")"
want="$(expect usr/bin/veskator-cli usr/share/man/man1/veskator-cli.1.gz \
    usr/share/doc/veskator-cli/changelog.gz usr/share/doc/veskator-cli/copyright)"
[ "$held" = "$want" ] || fail "veskator-cli holds:"$'\n'"$held"$'\n'"expected:"$'\n'"$want"

# Compressed as Debian wants: gzip, no name or time stamp in the header (flags and time are 0).
for gz in "$work"/gui/usr/share/man/man1/*.gz "$work"/cli/usr/share/man/man1/*.gz \
    "$work"/*/usr/share/doc/*/changelog.gz; do
    gzip -t "$gz" || fail "$gz is no gzip file"
    [ "$(od -An -tx1 -j3 -N5 "$gz" | tr -d ' \n')" = 0000000000 ] || fail "$gz names or dates itself"
done
for program in veskator veskator-cli; do
    root="$work/gui"
    [ "$program" = veskator-cli ] && root="$work/cli"
    page="$root/usr/share/man/man1/$program.1.gz"
    title="$(zcat "$page" | sed -n 's/^\.TH \([^ ]*\) 1 .*/\1/p')"
    [ "$title" = "$(tr 'a-z-' 'A-Z-' <<<"$program" | sed 's/-/\\-/')" ] || fail "$page is titled '$title'"
    if command -v man >/dev/null; then
        warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)"
        [ -z "$warnings" ] || fail "$page: $warnings"
    fi
    changelog="$root/usr/share/doc/$program/changelog.gz"
    zcat "$changelog" >"$work/changelog"
    newest="$(sed -n 1p "$work/changelog")"
    [[ "$newest" == "veskator ($version) "* ]] ||
        fail "the changelog's newest entry is not $version: $newest"
    if command -v dpkg-parsechangelog >/dev/null; then
        [ "$(dpkg-parsechangelog -l "$work/changelog" -S Version)" = "$version" ] ||
            fail "dpkg-parsechangelog reads another version from $changelog"
    fi
    copyright="$root/usr/share/doc/$program/copyright"
    [ "$(sed -n 1p "$copyright")" = \
        "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] ||
        fail "$copyright is not machine-readable"
    grep -q '^Files: \*$' "$copyright" || fail "$copyright covers no files"

    # Hardened: position-independent, relocations read-only and bound at start, and (optimised)
    # the checked variants of string and memory calls.
    binary="$root/usr/bin/$program"
    [ -x "$binary" ] || fail "$binary is not executable"
    # Whole outputs, not pipes into grep -q: a reader cut off early would fail the pipe.
    elf="$(readelf -hldW --dyn-syms "$binary")"
    grep -q 'Type: *DYN' <<<"$elf" || fail "$program is not position-independent"
    grep -q GNU_RELRO <<<"$elf" || fail "$program has no read-only relocations"
    grep -Eq 'BIND_NOW|FLAGS_1.*NOW' <<<"$elf" || fail "$program binds lazily"
    if [ "$config" = Release ]; then
        grep -q '__[a-z]*_chk@' <<<"$elf" || fail "$program is not fortified"
    fi
done

desktop="$work/gui/usr/share/applications/veskator.desktop"
exec_line="$(sed -n 's/^Exec=//p' "$desktop")"
[ -x "$work/gui/usr/bin/${exec_line%% *}" ] || fail "Exec=$exec_line is no program of the package"
[ "${exec_line#* }" = --in-data-folder ] || fail "the menu starts '$exec_line', not in the data folder"
grep -q '^Keywords=..*;$' "$desktop" || fail "the desktop entry has no keywords"
icon="$(sed -n 's/^Icon=//p' "$desktop")"
[ -f "$work/gui/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "Icon=$icon has no icon"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate"
fi

status=0
"$work/cli/usr/bin/veskator-cli" --help >"$work/help.out" 2>"$work/help.err" || status=$?
[ "$status" -eq 0 ] || fail "veskator-cli --help exited $status: $(cat "$work/help.err")"
case "$(head -c 19 "$work/help.out")" in
    "usage: veskator-cli") ;;
    *) fail "veskator-cli --help printed: $(head -n 3 "$work/help.out")" ;;
esac

# lintian is slow: the optimised build's packages are the ones shipped.
if [ "$config" = Release ] && command -v lintian >/dev/null; then
    lintian --fail-on error,warning "$gui" "$cli" >"$work/lintian.log" 2>&1 || {
        cat "$work/lintian.log" >&2
        fail "lintian"
    }
fi
echo "ok: ${gui##*/} ${cli##*/}"
