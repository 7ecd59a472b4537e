#!/usr/bin/env bash
# Installs every Debian package the builds and tests need, and fetches the pinned
# pugixml source for the Windows builds. Idempotent: when everything is in place it
# returns at once without touching the network.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
deps_dir="${FR_DEPS_DIR:-$here/.deps}"
pugixml_version="1.13-0.2"
pugixml_dir="$deps_dir/pugixml-1.13"

packages=(
  cmake ninja-build make g++ clang libclang-rt-14-dev lld
  clang-format clang-tidy
  libpugixml-dev libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  wine wine32:i386 wine64
  dpkg-dev zip valgrind python3
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

need_src=0
[[ -f "$pugixml_dir/src/pugixml.cpp" ]] || need_src=1

if [[ ${#missing[@]} -eq 0 && $need_src -eq 0 ]]; then
  exit 0
fi

sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi

src_list=/etc/apt/sources.list.d/fr-deb-src.sources
if [[ ! -f $src_list ]]; then
  $sudo tee "$src_list" >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
fi

echo "setup: installing ${missing[*]:-nothing} ${need_src:+(and the pugixml source)}" >&2
# A mirror in the middle of a sync fails an index now and then: try again, then go
# on with the lists there are; whatever is really missing fails at the steps below.
for attempt in 1 2 3; do
  $sudo apt-get update -qq && break
  echo "setup: apt-get update failed (attempt $attempt of 3)" >&2
  if [[ $attempt -lt 3 ]]; then sleep 15; fi
done
if [[ ${#missing[@]} -gt 0 ]]; then
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if [[ $need_src -eq 1 ]]; then
  mkdir -p "$deps_dir"
  (cd "$deps_dir" && apt-get source --download-only "pugixml=$pugixml_version" >/dev/null \
     && rm -rf "$pugixml_dir" \
     && dpkg-source --no-check -x pugixml_${pugixml_version}.dsc "$pugixml_dir" >/dev/null)
fi
echo "setup: done" >&2
