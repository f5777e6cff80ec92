#!/usr/bin/env bash
# Installs the Debian package into a scratch root and uses it from there: lintian finds no
# error in it, the installed programs answer --version and --help, the man pages carry
# every option of --help and examples and no build machine's home folder, a download into a
# simulated controller succeeds, and the settings land in the XDG config folder. A second
# package build gives the same file list, and unpacking it over the first keeps the user's
# settings. The README's screenshot script still makes its picture.
#
#   tests/package/package_test.sh BUILD_NAME
set -euo pipefail
root_dir="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:?build name under build/}"
cd "$root_dir"

fail() { echo "package test: $*" >&2; exit 1; }

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

deb="$(scripts/package "$build" | tail -n 1)"
[ -f "$deb" ] || fail "no package built"
dpkg-deb -c "$deb" | awk '{print $6}' | sort >"$scratch/first.list"

for path in ./usr/bin/tarmix ./usr/bin/tarmix-sim ./usr/share/applications/tarmix.desktop \
    ./usr/share/icons/hicolor/scalable/apps/tarmix.svg ./usr/share/man/man1/tarmix.1.gz \
    ./usr/share/man/man1/tarmix-sim.1.gz ./usr/share/tarmix/Library/README \
    ./usr/share/doc/tarmix/README.md ./usr/share/doc/tarmix/copyright \
    ./usr/share/doc/tarmix/changelog.Debian.gz \
    ./usr/share/bash-completion/completions/tarmix; do
    grep -qx "$path" "$scratch/first.list" || fail "the package lacks $path"
done
grep -c '^./usr/share/tarmix/Library/' "$scratch/first.list" | grep -qx 2 ||
    fail "the Library folder holds more than its README"
dpkg-deb -f "$deb" Depends | grep -q 'libc6' || fail "no dependencies computed"
! grep -q '^./usr/share/doc/tarmix/docs' "$scratch/first.list" ||
    fail "the developer documents went into the package"
lintian --fail-on error "$deb" >"$scratch/lintian.txt" ||
    { cat "$scratch/lintian.txt" >&2; fail "lintian found errors"; }
version="$(dpkg-deb -f "$deb" Version)"

root="$scratch/root"
dpkg -x "$deb" "$root"
tarmix="$root/usr/bin/tarmix"
"$tarmix" --version | head -n 1 | grep -q "^tarmix ${version%-*} " ||
    fail "--version does not begin with tarmix ${version%-*}"
gzip -dc "$root/usr/share/doc/tarmix/changelog.Debian.gz" | head -n 1 | grep -qF "tarmix ($version)" ||
    fail "the changelog does not begin with version $version"
"$tarmix" --help >"$scratch/help.txt" || fail "--help"
if "$tarmix" --lang en --version | grep -q "with window"; then
    dpkg-deb -f "$deb" Recommends | grep -q 'qt6-translations-l10n' ||
        fail "the window's Qt texts are not recommended"
fi

# Every option that --help names is in the man page.
man_text="$(gzip -dc "$root/usr/share/man/man1/tarmix.1.gz" | sed 's/\\-/-/g')"
for option in $(grep -o -- '--[a-z][a-z-]*' "$scratch/help.txt" | sort -u); do
    grep -q -- "$option" <<<"$man_text" || fail "man page lacks $option"
done
gzip -dc "$root/usr/share/man/man1/tarmix-sim.1.gz" | sed 's/\\-/-/g' | grep -q 'make-image' ||
    fail "tarmix-sim man page lacks make-image"
# Both pages have examples, and no home folder of the machine that made them.
for page in tarmix tarmix-sim; do
    text="$(gzip -dc "$root/usr/share/man/man1/$page.1.gz")"
    grep -q '^\.SH EXAMPLES' <<<"$text" || fail "$page(1) has no EXAMPLES section"
    ! grep -qE "/root/|$HOME/" <<<"$text" || fail "$page(1) names a home folder: $(grep -E "/root/|$HOME/" <<<"$text" | head -n 1)"
done

# A download from the installed programs; the settings go to the XDG config folder.
home="$scratch/home"
mkdir -p "$home"
env -u DISPLAY -u WAYLAND_DISPLAY HOME="$home" XDG_CONFIG_HOME="$home/.config" \
    XDG_STATE_HOME="$home/.local/state" \
    "$tarmix" --headless --simulate=alder --sim-state "$scratch/device" \
    /p "$root_dir/examples/alder-demo-64k.rom" COM1 57600 >/dev/null 2>"$scratch/run.err" ||
    { cat "$scratch/run.err" >&2; fail "the installed program's download failed"; }
[ -f "$home/.config/tarmix/Tarmix.ini" ] || fail "Tarmix.ini is not in the XDG config folder"
[ ! -e "$root/usr/bin/Tarmix.ini" ] || fail "Tarmix.ini was written beside the program"

# Built again: the same files. Unpacked over the first: the user's settings stay.
cp "$home/.config/tarmix/Tarmix.ini" "$scratch/settings.before"
deb="$(scripts/package "$build" | tail -n 1)"
dpkg-deb -c "$deb" | awk '{print $6}' | sort | diff -q - "$scratch/first.list" >/dev/null ||
    fail "a second build lists other files"
dpkg -x "$deb" "$root"
cmp -s "$scratch/settings.before" "$home/.config/tarmix/Tarmix.ini" ||
    fail "the settings changed when the package was unpacked again"
scripts/screenshot "$build" "$scratch/window.png" >/dev/null || fail "scripts/screenshot failed"
[ "$(head -c 8 "$scratch/window.png" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] ||
    fail "scripts/screenshot made no PNG picture"
echo "package test: passed ($(basename "$deb"))"
