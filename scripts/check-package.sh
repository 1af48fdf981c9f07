#!/usr/bin/env bash
# Checks a Velmora Debian package: lintian finds no error, its AppStream data is valid, and it
# installs into a throw-away root (dpkg --root), where the installed Velmora Launcher, Velmora
# and the keyboard broker answer --version, and it is removed from there without a trace.
# With --build, first makes the package of that build folder with CPack, in a temporary folder.
# Exits 77 when the tools it needs are missing (lintian, appstreamcli; root or fakeroot for dpkg).
# Usage: scripts/check-package.sh DEB
#        scripts/check-package.sh --build BUILD-DIR
set -euo pipefail

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "check-package: $*" >&2
  exit 1
}
skip() {
  echo "check-package: skipped: $*" >&2
  exit 77
}
for tool in lintian appstreamcli; do
  command -v "$tool" >/dev/null || skip "no $tool (scripts/install-deps.sh package)"
done
# The host's dpkg log is none of the scratch root's business.
dpkg=(dpkg --log="$work/dpkg-history.log")
if [ "$(id -u)" -ne 0 ]; then
  command -v fakeroot >/dev/null || skip "dpkg needs root or fakeroot"
  dpkg=(fakeroot "${dpkg[@]}" --force-not-root)
fi

if [ "${1:-}" = --build ]; then
  cpack --config "${2:?usage: check-package.sh --build BUILD-DIR}/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" ||
    { cat "$work/cpack.log" >&2 && fail "cpack failed"; }
  set -- "$work"/out/velmora_*.deb
fi
deb=$(realpath "${1:?usage: check-package.sh DEB}")
version=$(dpkg-deb -f "$deb" Version)

lintian --fail-on error "$deb" || fail "lintian found errors"

dpkg-deb -x "$deb" "$work/contents"
appstreamcli validate --no-net "$work"/contents/usr/share/metainfo/*.metainfo.xml ||
  fail "the AppStream data is not valid"

# An empty dpkg database of its own; the package's dependencies are the host's business.
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
"${dpkg[@]}" --root="$root" --force-depends --install "$deb" >"$work/dpkg.log" 2>&1 ||
  { cat "$work/dpkg.log" >&2 && fail "dpkg could not install the package"; }

velmora=/usr/libexec/velmora-launcher/Resources/Velmora.app/Velmora
grep -qF "<![CDATA[$velmora]]></annotate>" "$root/usr/share/polkit-1/actions/org.velmora.launcher.policy" ||
  fail "the polkit policy does not name $velmora"
for program in /usr/bin/VelmoraLauncher "$velmora" "${velmora}Broker"; do
  answer=$(QT_QPA_PLATFORM=offscreen timeout 20 "$root$program" --version) ||
    fail "$program --version failed"
  [[ $answer == *" $version" ]] || fail "$program --version answered \"$answer\", not $version"
done

"${dpkg[@]}" --root="$root" --purge velmora >"$work/dpkg.log" 2>&1 ||
  { cat "$work/dpkg.log" >&2 && fail "dpkg could not remove the package"; }
left=$(cd "$root" && find . -mindepth 1 ! -path './var/lib/dpkg*' ! -path ./var/lib ! -path ./var)
[ -z "$left" ] || fail "removing the package left: $left"
echo "check-package: $(basename "$deb") is sound"
