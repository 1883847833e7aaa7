#!/usr/bin/env bash
# cmake --install into a scratch prefix, then what a desktop, man and bash make of it: the
# menu entry and AppStream data validate, the icons have their sizes, both man pages render
# without warnings, the programs tell their version, twr decodes the installed example with
# the installed scripts, and the completion offers commands, options and the right files.
# Arguments: build directory, source directory, version, scratch directory.
set -u
build=$1 source=$2 version=$3 work=$4
# Descriptors twr --decode remembers go to the scratch directory, never the user's.
export XDG_CONFIG_HOME=$work/config
source "$(dirname "$0")/checks.sh"
rm -rf "$work" && mkdir -p "$work/elsewhere" || exit 1
prefix=$work/prefix
for component in tracewren libtwrcore libtwrcore-dev; do
  cmake --install "$build" --prefix "$prefix" --component "$component" >/dev/null || fail "install $component"
done

share=$prefix/share
desktop-file-validate "$share/applications/tracewren.desktop" || fail "desktop entry"
grep -qx 'Exec=tracewren %f' "$share/applications/tracewren.desktop" || fail "desktop entry passes no file"
appstreamcli validate --no-net "$share/metainfo/com.orlavex.Tracewren.metainfo.xml" >"$work/appstream.txt" ||
  fail "AppStream data: $(cat "$work/appstream.txt")"
for size in 48 256; do
  file "$share/icons/hicolor/${size}x$size/apps/tracewren.png" | grep -q "PNG image data, $size x $size" ||
    fail "no $size px icon"
done
grep -q "<svg" "$share/icons/hicolor/scalable/apps/tracewren.svg" || fail "no scalable icon"
grep -Eq '^SUBSYSTEM=="usb".*ATTR\{idVendor\}=="04b4".*ATTR\{idProduct\}=="8613".*TAG\+="uaccess"' \
  "$prefix/lib/udev/rules.d/60-tracewren.rules" || fail "udev rule"

for page in twr tracewren; do
  MANWIDTH=80 man --warnings -l "$share/man/man1/$page.1.gz" >"$work/$page.txt" 2>"$work/$page.err"
  [ $? -eq 0 ] && [ ! -s "$work/$page.err" ] || fail "man page $page: $(cat "$work/$page.err")"
  grep -Eq "^ +$page +- " "$work/$page.txt" || fail "man page $page has no NAME line"
  [ "$("$prefix/bin/$page" --version)" = "$page $version" ] || fail "$page --version"
done
grep -q "60-tracewren.rules" "$work/twr.txt" || fail "twr(1) does not name the udev rule"

# The installed twr finds the installed scripts from anywhere, and decodes as the build does.
(cd "$work/elsewhere" && env -u TWR_SCRIPTS "$prefix/bin/twr" show "$share/tracewren/default.ovd" --decode \
  >"$work/installed-decode.txt") || fail "installed twr cannot decode the example"
"$build/cli/twr" show "$source/default.ovd" --decode >"$work/build-decode.txt"
[ -s "$work/installed-decode.txt" ] && cmp -s "$work/installed-decode.txt" "$work/build-decode.txt" ||
  fail "the installed twr decodes the example differently"

# Completion, as bash-completion loads it for the installed program.
complete_line() {
  bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$1"
    shift
    cd "$1" && shift
    COMP_WORDS=("$@") COMP_CWORD=$(($# - 1)) COMP_LINE="$*" COMP_POINT=${#COMP_LINE}
    _twr twr "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "
  ' _ "$share/bash-completion/completions/twr" "$@"
}
expect_completion() {
  local want=$1
  shift
  local got
  got=$(complete_line "$work/files" "$@")
  [ "$got" = "$want" ] || fail "completing '$*': got '$got', want '$want'"
}
mkdir -p "$work/files" && touch "$work/files"/{a.raw,b.ovd,c.pcap,d.pcapng,e.txt}
# Every command twr --help lists, and each command's options as its --help lists them.
commands=$("$prefix/bin/twr" --help | awk '/^  [a-z]/ {print $1}' | sort | tr "\n" " ")
expect_completion "--help --version $commands" twr ""
expect_completion "--help --version " twr --
expect_completion "a.raw c.pcap d.pcapng " twr decode ""
expect_completion "b.ovd c.pcap d.pcapng " twr show ""
expect_completion "c.pcap d.pcapng " twr export b.ovd ""
expect_completion "288 294 " twr export a.raw --linktype ""
expect_completion "b.ovd " twr capture --size 4M -o ""
for command in $commands; do
  want=$("$prefix/bin/twr" "$command" --help | awk '/^  -/ {print $1}' | sort | tr "\n" " ")
  expect_completion "$want" twr "$command" -
done

finish
