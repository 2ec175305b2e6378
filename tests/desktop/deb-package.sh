#!/bin/sh
# Builds the Debian package from the build tree, unpacks it into a scratch root
# (as dpkg would install it, without installing it) and runs lumbra-cli from
# there. Usage: deb-package.sh BUILD_DIR
set -eu
. "$(dirname "$0")/need-tools.sh"
need cpack dpkg-deb dpkg-shlibdeps
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# gzip rather than xz: the package is made to be looked into, not shipped.
cpack --config "$build/CPackConfig.cmake" -G DEB -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; fail "cpack did not make the package"; }
deb=$(ls "$scratch"/out/*.deb)
dpkg-deb -x "$deb" "$scratch/root"

info=$(dpkg-deb -f "$deb")
for field in "Section: video" "Maintainer: " "Depends: .*libqt6core6" "Depends: .*qt6-qpa-plugins" \
             "Description: get subtitles"; do
  echo "$info" | grep -q "^$field" || fail "the package's control has no '$field':
$info"
done

for file in bin/lumbra bin/lumbra-cli share/applications/lumbra.desktop \
            share/metainfo/io.github.lumbra.Lumbra.metainfo.xml \
            share/icons/hicolor/scalable/apps/lumbra.svg share/icons/hicolor/48x48/apps/lumbra.png \
            share/icons/hicolor/256x256/apps/lumbra.png share/man/man1/lumbra.1 share/man/man1/lumbra-cli.1 \
            share/bash-completion/completions/lumbra-cli share/zsh/vendor-completions/_lumbra-cli \
            share/lumbra/Images/Flags/en.png share/lumbra/Fonts/FontAwesome/fontawesome-webfont.ttf; do
  [ -s "$scratch/root/usr/$file" ] || fail "the package holds no /usr/$file"
done

home=$scratch/home
mkdir -p "$home"
out=$(env HOME="$home" XDG_CONFIG_HOME="$home/config" DBUS_SESSION_BUS_ADDRESS="unix:path=$home/no-bus" \
      "$scratch/root/usr/bin/lumbra-cli" --help) || fail "lumbra-cli --help from the package failed"
echo "$out" | grep -q "^Usage: lumbra-cli" || fail "unexpected help from the packaged lumbra-cli:
$out"
echo "package $(basename "$deb") unpacks and runs"
