#!/usr/bin/env bash
# The Debian packages cpack makes of this build: lintian finds no error, the dependencies are
# computed (and the help page's xdg-utils added), each package holds its part, and the
# programs unpacked into a fresh root decode the example from there.
# Arguments: build directory, source directory, version, scratch directory.
set -u
build=$1 source=$2 version=$3 work=$4
# Descriptors twr --decode remembers go to the scratch directory, never the user's.
export XDG_CONFIG_HOME=$work/config
source "$(dirname "$0")/checks.sh"
rm -rf "$work" && mkdir -p "$work/root" || exit 1
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.txt" 2>&1 || {
  cat "$work/cpack.txt"
  exit 1
}
debs=("$work"/*.deb)
names=$(for deb in "${debs[@]}"; do dpkg-deb -f "$deb" Package; done | sort | tr "\n" " ")
[ "$names" = "libtwrcore libtwrcore-dev tracewren " ] || fail "packages made: $names"

lintian --fail-on error "${debs[@]}" >"$work/lintian.txt" 2>&1 || fail "lintian: $(grep -v '^W:' "$work/lintian.txt")"

deb() { echo "$work/${1}_${version}_$(dpkg --print-architecture).deb"; }
field() { dpkg-deb -f "$(deb "$1")" "$2"; }
field tracewren Depends | grep -q "xdg-utils" || fail "tracewren does not depend on xdg-utils"
field tracewren Depends | grep -q "libwxgtk3.2" || fail "tracewren's library dependencies were not computed"
field libtwrcore Depends | grep -q "libusb-1.0-0" || fail "libtwrcore's library dependencies were not computed"
field libtwrcore-dev Depends | grep -q "libtwrcore (= $version)" || fail "libtwrcore-dev does not depend on libtwrcore"
dpkg-deb -I "$(deb libtwrcore)" shlibs | grep -q "^libtwrcore 0 libtwrcore" || fail "libtwrcore has no shlibs"

# What each package holds; twr-sim is in none.
contents() { dpkg-deb -c "$(deb "$1")" | awk '{print $6}'; }
for path in usr/bin/twr usr/bin/tracewren usr/lib/udev/rules.d/60-tracewren.rules \
  usr/share/applications/tracewren.desktop usr/share/metainfo/com.orlavex.Tracewren.metainfo.xml \
  usr/share/icons/hicolor/48x48/apps/tracewren.png usr/share/icons/hicolor/scalable/apps/tracewren.svg \
  usr/share/man/man1/twr.1.gz usr/share/man/man1/tracewren.1.gz usr/share/bash-completion/completions/twr \
  usr/share/tracewren/twr_help.html usr/share/tracewren/default.ovd usr/share/tracewren/scripts/init.lua; do
  contents tracewren | grep -qx "./$path" || fail "tracewren lacks $path"
done
contents libtwrcore | grep -Eqx './usr/lib/([^/]+/)?libtwrcore\.so\.0\.[0-9.]+' || fail "libtwrcore lacks the library"
contents libtwrcore | grep -q 'include/\|\.pc$\|libtwrcore\.so$' && fail "libtwrcore holds development files"
for path in 'include/twrcore\.h' 'pkgconfig/twrcore\.pc' 'libtwrcore\.so'; do
  contents libtwrcore-dev | grep -Eq "$path\$" || fail "libtwrcore-dev lacks $path"
done
for package in tracewren libtwrcore libtwrcore-dev; do
  contents "$package" | grep -q "twr-sim" && fail "$package holds twr-sim"
done

# Unpacked into an empty root, the programs run from there with their own scripts and data.
for deb in "${debs[@]}"; do dpkg -x "$deb" "$work/root"; done
root=$work/root
[ "$("$root/usr/bin/twr" --version)" = "twr $version" ] || fail "twr --version"
(cd "$work" && env -u TWR_SCRIPTS "$root/usr/bin/twr" show "$root/usr/share/tracewren/default.ovd" --decode \
  >packaged-decode.txt) || fail "the packaged twr cannot decode the example"
"$build/cli/twr" show "$source/default.ovd" --decode >"$work/build-decode.txt"
[ -s "$work/packaged-decode.txt" ] && cmp -s "$work/packaged-decode.txt" "$work/build-decode.txt" ||
  fail "the packaged twr decodes the example differently"
"$root/usr/bin/twr" decode "$source/data/example.raw" --boxes >"$work/packaged-boxes.txt" &&
  cmp -s "$work/packaged-boxes.txt" "$source/data/example.boxes" || fail "the packaged twr decodes example.raw differently"

finish
