#!/usr/bin/env bash
# Builds the Debian package from a configured and built folder and checks it:
# the files it installs, the dependencies it declares, the desktop entry, and
# that the packaged program runs and reports the package's version.
# Usage: check-package.sh BUILD_DIR VERSION
set -euo pipefail
build="$1"
version="$2"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 || { cat "$out/cpack.log"; fail "cpack"; }
deb="$out/lapvaneadmin_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { ls "$out"; fail "no package $deb"; }

contents="$(dpkg-deb -c "$deb" | awk '{print $6}')"
echo "$contents"
for f in ./usr/bin/lapvaneadmin ./usr/bin/lapvaneadmin-receiversim \
         ./usr/share/applications/lapvaneadmin.desktop \
         ./usr/share/icons/hicolor/scalable/apps/lapvaneadmin.svg \
         ./usr/share/doc/lapvaneadmin/README.md ./usr/share/doc/lapvaneadmin/README.receiversim.md \
         ./usr/share/doc/lapvaneadmin/copyright ./usr/share/doc/lapvaneadmin/changelog.gz \
         ./usr/share/man/man1/lapvaneadmin.1.gz \
         ./usr/share/lapvaneadmin/templates/race.htm ./usr/share/lapvaneadmin/templates/raceresults.htm \
         ./usr/share/lapvaneadmin/templates/top.htm ./usr/share/lapvaneadmin/templates/channel.htm; do
  grep -qx -- "$f" <<<"$contents" || fail "$f missing from the package"
done

[ "$(dpkg-deb -f "$deb" Package)" = lapvaneadmin ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"
# The summary heads the description once; the long text follows it.
description="$(dpkg-deb -f "$deb" Description)"
echo "Description: $description"
summary="$(head -n 1 <<<"$description")"
[ -n "$summary" ] || fail "no summary"
[ "$(grep -cF -- "${summary# }" <<<"$description")" = 1 ] || fail "the summary is repeated in the description"
[ "$(wc -l <<<"$description")" -gt 2 ] || fail "no long description"
depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
# The run-time plugins no tool can see.
for p in libqt6sql6-sqlite gstreamer1.0-plugins-base gstreamer1.0-plugins-good espeak-ng-data; do
  grep -q "\b$p\b" <<<"$depends" || fail "$p not among the dependencies"
done

dpkg-deb -x "$deb" "$out/root"
# Every library the packaged programs load is brought by a declared dependency
# (found by dpkg-shlibdeps, not listed by hand).
for exe in "$out/root/usr/bin/lapvaneadmin" "$out/root/usr/bin/lapvaneadmin-receiversim"; do
  for lib in $(objdump -p "$exe" | awk '/NEEDED/ {print $2}'); do
    path="$(ldconfig -p | awk -v l="$lib" '$1 == l && !found {print $NF; found = 1}')"
    [ -n "$path" ] || fail "$lib of $(basename "$exe") not found on this machine"
    owner="$( (dpkg -S "$(readlink -f "$path")" 2>/dev/null || dpkg -S "$path" 2>/dev/null || true) | sed -n '1s/:.*//p')"
    [ -n "$owner" ] || fail "no package holds $path"
    grep -q "\b$owner\b" <<<"$depends" || fail "$lib ($owner) needed by $(basename "$exe") is not a dependency"
  done
done
desktop="$out/root/usr/share/applications/lapvaneadmin.desktop"
for line in "Type=Application" "Name=Lapvane Admin" "Exec=lapvaneadmin" "Icon=lapvaneadmin"; do
  grep -qx "$line" "$desktop" || fail "desktop entry lacks $line"
done
grep -q '^Categories=.*;' "$desktop" || fail "desktop entry lacks categories"
grep -q '^Comment=.' "$desktop" || fail "desktop entry lacks a comment"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop entry not valid"
fi
grep -q '<svg' "$out/root/usr/share/icons/hicolor/scalable/apps/lapvaneadmin.svg" || fail "icon is not an SVG"

# The documents: the copyright file, the changelog of this version, a man page
# naming every option of --help, and guides that name the installed commands.
doc="$out/root/usr/share/doc/lapvaneadmin"
grep -q '^Copyright: ' "$doc/copyright" || fail "copyright file without a Copyright field"
grep -q '^License: ' "$doc/copyright" || fail "copyright file without a License field"
zcat "$doc/changelog.gz" | head -n 1 | grep -qF "lapvaneadmin ($version)" || fail "changelog does not start with $version"
man="$(zcat "$out/root/usr/share/man/man1/lapvaneadmin.1.gz")"
grep -q '^\.TH LAPVANEADMIN 1 ' <<<"$man" || fail "man page without its title line"
grep -q '^lapvaneadmin \\- ' <<<"$man" || fail "man page without its NAME line"
help="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$out/root/usr/bin/lapvaneadmin" --help)"
for option in $(grep -oE '^  (-[a-z], )?--[a-z]+' <<<"$help" | grep -oE -- '--[a-z]+'); do
  grep -qF -- "${option//-/\\-}" <<<"$man" || fail "man page lacks $option"
done
for guide in "$doc/README.md" "$doc/README.receiversim.md"; do
  grep -q 'lapvaneadmin-receiversim lapvane --demo' "$guide" || fail "$(basename "$guide") does not name lapvaneadmin-receiversim"
  if grep -nE 'build-release|build-tests|tools/receiversim|ninja|scripts/' "$guide"; then
    fail "$(basename "$guide") names build paths"
  fi
done

# The packaged programs run; the version is the package's own. No display is
# needed for --version and --help.
reported="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$out/root/usr/bin/lapvaneadmin" --version)"
[ "$reported" = "Lapvane Admin $version" ] || fail "--version says '$reported'"
"$out/root/usr/bin/lapvaneadmin-receiversim" --help | grep -q lapvane || fail "receiver simulator does not run"
# A wrong command line is answered on stderr with exit status 2, also without
# a display.
set +e
err="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$out/root/usr/bin/lapvaneadmin" --home 2>&1 >/dev/null)"
status=$?
set -e
[ "$status" = 2 ] || fail "--home without a folder exits with $status: $err"
grep -q -- '--home' <<<"$err" || fail "--home without a folder says '$err'"
echo "package OK: $(basename "$deb")"
