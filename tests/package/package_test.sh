#!/usr/bin/env bash
# The Debian package as cpack builds it from this build tree, unpacked into a scratch root (no root
# rights needed): its file name and fields, exactly the files a system install holds, a desktop
# entry that names them, and veskator-cli run from where the package puts it. Exits 77 (skipped)
# after the rest when the build has no veskator-cli yet.
# usage: package_test.sh CPACK BUILD_DIR VERSION HAS_CLI
set -euo pipefail
cpack="$1" build="$2" version="$3" has_cli="$4"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    fail "cpack did not build the package"
fi
name="veskator_${version}_$(dpkg --print-architecture).deb"
deb="$work/out/$name"
[ -f "$deb" ] || fail "no $name; cpack made: $(cd "$work/out" && ls -- *.deb 2>/dev/null)"

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = veskator ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
depends="$(field Depends)"
for p in libqt6core6 libqt6gui6 libqt6widgets6 fonts-liberation iputils-ping net-tools; do
    [[ ", $depends," =~ ,\ ${p}[\ ,] ]] || fail "Depends lacks $p: $depends"
done

root="$work/root"
dpkg-deb --extract "$deb" "$root"
expected=(usr/bin/veskator usr/share/applications/veskator.desktop
    usr/share/icons/hicolor/scalable/apps/veskator.svg)
[ "$has_cli" = 1 ] && expected+=(usr/bin/veskator-cli)
held="$(cd "$root" && find . ! -type d | sed 's|^\./||' | sort)"
want="$(printf '%s\n' "${expected[@]}" | sort)"
[ "$held" = "$want" ] || fail "the package holds:"$'\n'"$held"$'\n'"expected:"$'\n'"$want"
for f in "$root"/usr/bin/*; do
    [ -x "$f" ] || fail "$f is not executable"
done

desktop="$root/usr/share/applications/veskator.desktop"
exec_line="$(sed -n 's/^Exec=//p' "$desktop")"
[ -x "$root/usr/bin/${exec_line%% *}" ] || fail "Exec=$exec_line is no program of the package"
icon="$(sed -n 's/^Icon=//p' "$desktop")"
[ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "Icon=$icon has no icon"
grep -q '<svg' "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" || fail "the icon is no SVG"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate"
fi

if [ "$has_cli" != 1 ]; then
    echo "the package is in order, but this build has no veskator-cli to run"
    exit 77
fi
status=0
"$root/usr/bin/veskator-cli" --help >"$work/help.out" 2>"$work/help.err" || status=$?
[ "$status" -eq 0 ] || fail "veskator-cli --help exited $status: $(cat "$work/help.err")"
case "$(head -c 19 "$work/help.out")" in
    "usage: veskator-cli") ;;
    *) fail "veskator-cli --help printed: $(head -n 3 "$work/help.out")" ;;
esac
echo "ok: $name"
