#!/bin/sh
# Builds the Debian package from a build folder into a temporary folder and checks what apt and
# dpkg will read from it: the runtime dependencies, the maintainer scripts, the installed files
# and the backend's mode.
#
# Usage: test_deb.sh BUILD_DIR [CPACK]
set -eu

build=$1
cpack=${2:-cpack}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() {
    echo "test_deb: $*" >&2
    exit 1
}

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 ||
    { cat "$out/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$out"/zr40-panel_*.deb)

depends=$(dpkg-deb -f "$deb" Depends)
# The libraries linked, Qt's window-system plug-ins and translations, the fonts, the print
# system's tools.
for package in libqt6core6 libqt6gui6 libqt6widgets6 qt6-qpa-plugins qt6-translations-l10n \
    libusb-1.0-0 libcups2 libsdl2-2.0-0 fonts-liberation2 fonts-ipafont-gothic cups-client; do
    printf '%s\n' "$depends" | tr ',' '\n' | sed 's/^ *//; s/ .*//' | grep -qx "$package" ||
        fail "Depends lacks $package: $depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = zr40-panel ] || fail "the package is not named zr40-panel"

dpkg-deb -e "$deb" "$out/control"
[ -x "$out/control/postinst" ] || fail "no postinst"
grep -q 'udevadm control --reload-rules' "$out/control/postinst" || fail "postinst does not reload the udev rules"
grep -q 'systemd-tmpfiles --create zr40-panel.conf' "$out/control/postinst" ||
    fail "postinst does not create the lock folder"

dpkg-deb -c "$deb" >"$out/contents"
for file in usr/bin/zr40-panel usr/bin/zr40-sim usr/bin/zr40ctl usr/bin/zr40-add-queue \
    usr/lib/udev/rules.d/70-zr40.rules usr/lib/tmpfiles.d/zr40-panel.conf \
    usr/share/applications/zr40-panel.desktop \
    usr/share/icons/hicolor/48x48/apps/zr40-panel.png usr/share/man/man1/zr40-panel.1; do
    grep -q " \./$file\$" "$out/contents" || fail "$file is not in the package"
done
grep -q '^-rwx------ root/root .* \./usr/lib/cups/backend/zr40$' "$out/contents" ||
    fail "the backend is not /usr/lib/cups/backend/zr40, root's, mode 0700"
echo "built $(basename "$deb"): Depends: $depends"
