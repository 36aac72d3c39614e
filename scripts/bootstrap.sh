#!/usr/bin/env bash
# Makes a fresh Debian bookworm machine ready to build and test Orvane.
#   1. installs the bookworm packages the build, the tests and the tools need;
#   2. fetches the VST 3 SDK and RNNoise packages at pinned versions from the sid
#      suite through a private apt sources list (the machine's apt configuration
#      is not touched) and unpacks them into .deps/ (git-ignored).
# Safe to run again: it does nothing when everything is already in place.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
deps="$root/.deps"

# Pinned versions: the layout checks in src/denoiser and the SDK link facts were
# taken from exactly these builds.
sid_packages=(
  "libvst3sdk-dev=3.8.0.66+~4.15.0-1"
  "librnnoise-dev=0.2+ds-1"
  "librnnoise0=0.2+ds-1"
)

bookworm_packages=(
  build-essential cmake pkg-config git ca-certificates
  libsndfile1-dev libcairo2-dev libpango1.0-dev libpng-dev libfftw3-dev
  fonts-dejavu-core
  libxcb1-dev libxcb-keysyms1-dev libxcb-cursor-dev libxcb-xtest0-dev
  xvfb xauth
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-14 libclang-rt-14-dev clang-format clang-tidy valgrind jq
  alsa-utils sox espeak-ng
  lv2-dev liblilv-dev lilv-utils sordi
  pipewire pipewire-bin wireplumber dbus
)

die() { echo "bootstrap: $*" >&2; exit 1; }

sudo_cmd=()
if [ "$(id -u)" != 0 ]; then
  command -v sudo >/dev/null || die "run as root or install sudo"
  sudo_cmd=(sudo)
fi

# --- bookworm packages -------------------------------------------------------
missing=()
for p in "${bookworm_packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "bootstrap: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -q || die "apt-get update failed"
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" \
    || die "could not install: ${missing[*]}"
fi

# --- pinned sid packages, unpacked into .deps/root ---------------------------
stamp="$deps/root/.stamp"
want=$(printf '%s\n' "${sid_packages[@]}")
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then
  exit 0
fi

mirror=""
if [ -f /etc/apt/sources.list.d/debian.sources ]; then
  mirror=$(awk '/^URIs:/ && $2 !~ /security/ { print $2; exit }' /etc/apt/sources.list.d/debian.sources)
fi
if [ -z "$mirror" ] && [ -f /etc/apt/sources.list ]; then
  mirror=$(awk '$1 == "deb" && $2 !~ /security/ { print $2; exit }' /etc/apt/sources.list)
fi
[ -n "$mirror" ] || die "cannot find the Debian mirror in the apt configuration"

apt_dir="$deps/apt"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives" "$apt_dir/cache"
echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror sid main" > "$apt_dir/sid.list"
apt_opts=(
  -o "Dir::Etc::SourceList=$apt_dir/sid.list"
  -o "Dir::Etc::SourceParts=/dev/null"
  -o "Dir::State::Lists=$apt_dir/lists"
  -o "Dir::Cache=$apt_dir/cache"
  -o "APT::Get::List-Cleanup=false"
  -o "APT::Sandbox::User=root"
)

need_download=()
for spec in "${sid_packages[@]}"; do
  name=${spec%%=*}; version=${spec#*=}
  [ -n "$(find "$apt_dir/archives" -name "${name}_${version//[:+~]/?}_*.deb" -print -quit)" ] \
    || need_download+=("$spec")
done

if [ ${#need_download[@]} -gt 0 ]; then
  echo "bootstrap: fetching ${need_download[*]} from sid"
  "${sudo_cmd[@]}" apt-get "${apt_opts[@]}" -q update >"$apt_dir/update.log" 2>&1 \
    || { cat "$apt_dir/update.log" >&2; die "apt-get update of the private sid list failed"; }
  for spec in "${need_download[@]}"; do
    (cd "$apt_dir/archives" && "${sudo_cmd[@]}" apt-get "${apt_opts[@]}" -q download "$spec") \
      || die "cannot download $spec from sid (is version ${spec#*=} still in the archive?)"
  done
fi

rm -rf "$deps/root.tmp"
mkdir -p "$deps/root.tmp"
for spec in "${sid_packages[@]}"; do
  name=${spec%%=*}; version=${spec#*=}
  deb=$(find "$apt_dir/archives" -name "${name}_${version//[:+~]/?}_*.deb" -print -quit)
  [ -n "$deb" ] || die "no downloaded archive for $spec"
  dpkg-deb -x "$deb" "$deps/root.tmp" || die "cannot unpack $deb"
done
for f in usr/include/vst3sdk/pluginterfaces usr/include/rnnoise.h \
         usr/lib/x86_64-linux-gnu/vst3sdk/libsdk.a usr/lib/x86_64-linux-gnu/librnnoise.a; do
  [ -e "$deps/root.tmp/$f" ] || die "unpacked packages lack $f"
done
printf '%s\n' "${sid_packages[@]}" > "$deps/root.tmp/.stamp"
rm -rf "$deps/root"
mv "$deps/root.tmp" "$deps/root"
echo "bootstrap: dependencies ready in $deps/root"
