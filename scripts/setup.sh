#!/usr/bin/env bash
# Installs the Debian packages one of the two commands needs:
#
#   scripts/setup.sh demo   what `make demo` builds and runs with: the native
#                           compiler, CMake, Ninja, the libraries (the emulator's
#                           HTTP server and QR encoder among them) and python3
#   scripts/setup.sh full   what `make test` needs besides (the default): clang and
#                           its sanitizer and fuzzer runtime, lld, clang-format,
#                           clang-tidy, Google Benchmark, both MinGW-w64 compilers,
#                           Wine, zip, valgrind, headless Chromium, zbarimg and a
#                           font for the tape page's browser test, the pugixml
#                           source the Windows builds compile (fetched into .deps/),
#                           and Debian 11's C library (glibc 2.31: libc6,
#                           libc6-dev, linux-libc-dev) unpacked into
#                           .deps/bullseye-root, which the shipped Linux library is
#                           linked against and tested in (make old-glibc-test)
#
# When a profile's packages are there it returns at once, without the network.
# The 32-bit Wine loader (wine32:i386) is optional: it is tried, never at the
# cost of a package already installed, and when it cannot be installed it is
# left out with one line and the 32-bit Wine pass reports itself skipped.
#
# Environment (the defaults are the system's; the tests point them elsewhere):
#   FR_DEPS_DIR          where the pugixml source goes (default .deps/)
#   FR_APT_SOURCES_DIR   apt's sources folder (default /etc/apt/sources.list.d)
#   FR_WINE_LIB_DIR      where Wine's loaders are (default /usr/lib/wine)
#   FR_SETUP_UPDATE_PAUSE seconds between apt-get update attempts (default 15)
#   FR_GLIBC_ROOT        where Debian 11's C library is unpacked (default
#                        .deps/bullseye-root)
#   FR_CACHE_DIR         where its .deb files are kept, so that a new clone unpacks
#                        them without the network (default /var/cache/fr_norvane1c83,
#                        or ~/.cache/fr_norvane1c83 where that cannot be written)
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
profile=${1:-full}
case $profile in
  demo | full) ;;
  *) echo "usage: $0 [demo|full]" >&2; exit 2 ;;
esac

deps_dir="${FR_DEPS_DIR:-$here/.deps}"
sources_dir="${FR_APT_SOURCES_DIR:-/etc/apt/sources.list.d}"
wine_lib="${FR_WINE_LIB_DIR:-/usr/lib/wine}"
update_pause="${FR_SETUP_UPDATE_PAUSE:-15}"
pugixml_version="1.13-0.2"
pugixml_dir="$deps_dir/pugixml-1.13"
# Why the last attempt left wine32:i386 out; while younger than a day, no new
# attempt is made (scripts/wine-test.sh prints it in its skip line).
wine32_note="$deps_dir/wine32-left-out"
# Debian 11's C library: made when missing; when it cannot be, why, in the note
# (no new attempt for a day; scripts/old-glibc-test.sh prints it in its skip line).
old_root="${FR_GLIBC_ROOT:-$deps_dir/bullseye-root}"
old_note="$deps_dir/bullseye-root-left-out"
old_packages=(libc6 libc6-dev linux-libc-dev)

arch=$(dpkg --print-architecture)
demo_packages=(
  cmake ninja-build make g++ libpugixml-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev python3
  libcpp-httplib-dev libqrencode-dev
)
full_packages=(
  clang libclang-rt-14-dev lld clang-format clang-tidy libbenchmark-dev
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  wine wine64 "libwine:$arch"
  dpkg-dev zip valgrind ccache
  chromium zbar-tools fonts-dejavu-core
)
wine_both=(wine wine64 "libwine:$arch" wine32:i386 libwine:i386)

# installed_of <package...>: prints those installed, one a line, native ones
# without their architecture (as the lists name them). One dpkg-query for all.
installed_of() {
  { dpkg-query -W -f='${binary:Package} ${Status}\n' "$@" 2>/dev/null || true; } |
    sed -n "s/^\([^ ]*\) install ok installed\$/\1/p" | sed "s/:$arch\$//"
}
installed() { [[ -n $(installed_of "$1") ]]; }
# not_installed <package...>: prints the missing ones, in the order given.
not_installed() {
  local have p
  have=$(installed_of "$@")
  for p in "$@"; do grep -qxF -- "${p%:"$arch"}" <<<"$have" || echo "$p"; done
}

packages=("${demo_packages[@]}")
[[ $profile == full ]] && packages+=("${full_packages[@]}")
mapfile -t missing < <(not_installed "${packages[@]}")

need_src=0
want_wine32=0
need_old=0
if [[ $profile == full ]]; then
  [[ -f $pugixml_dir/src/pugixml.cpp ]] || need_src=1
  if ! installed wine32:i386 && ! [[ -f $wine32_note && -z $(find "$wine32_note" -mmin +1440) ]]; then
    want_wine32=1
  fi
  if [[ ! -f $old_root/.complete ]] && ! [[ -f $old_note && -z $(find "$old_note" -mmin +1440) ]]; then
    need_old=1
  fi
fi

# old_debs_into <folder>: Debian 11's packages of the C library, downloaded from
# this machine's own Debian mirror through an apt of their own (its list, state
# and cache in the folder), so the system's apt sources stay as they are.
old_debs_into() {
  local dir=$1 uri apt_dir
  uri=$(apt-get indextargets --format '$(REPO_URI) $(TARGET_OF)' 2>/dev/null |
    awk '$2 == "deb" && $1 !~ /security/ { print $1; exit }')
  apt_dir=$dir/apt
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$dir/new"
  : >"$apt_dir/status"
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] ${uri:-http://deb.debian.org/debian/} bullseye main" \
    >"$apt_dir/sources.list"
  local opts=(-qq -o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/none"
    -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::State::status=$apt_dir/status"
    -o "Dir::Cache=$apt_dir/cache" -o "APT::Architectures::=$arch")
  [[ $(id -u) -ne 0 ]] || opts+=(-o APT::Sandbox::User=root)
  apt-get "${opts[@]}" update && rm -f "$dir/new"/*.deb &&
    (cd "$dir/new" && apt-get "${opts[@]}" download "${old_packages[@]/%/:$arch}") &&
    rm -f "$dir"/*.deb && mv "$dir/new"/*.deb "$dir/"
}

# make_old_root: the packages (from the cache, else the mirror) unpacked into
# $old_root, their absolute links made relative so that they resolve inside it.
make_old_root() {
  local cache=${FR_CACHE_DIR:-/var/cache/fr_norvane1c83}
  mkdir -p "$cache" 2>/dev/null && [[ -w $cache ]] || cache=${XDG_CACHE_HOME:-$HOME/.cache}/fr_norvane1c83
  local debs=$cache/bullseye-libc p
  mkdir -p "$debs"
  for p in "${old_packages[@]}"; do
    if ! compgen -G "$debs/${p}_*_$arch.deb" >/dev/null; then
      old_debs_into "$debs" || { echo "the packages of Debian 11 (bullseye) cannot be downloaded"; return 1; }
      break
    fi
  done
  local tmp=$old_root.new link target
  rm -rf "$tmp" && mkdir -p "$tmp"
  for p in "${old_packages[@]}"; do
    dpkg-deb -x "$(compgen -G "$debs/${p}_*_$arch.deb" | head -n1)" "$tmp" || { echo "$p does not unpack"; return 1; }
  done
  while IFS= read -r -d '' link; do
    target=$(readlink "$link")
    ln -sfn "$(realpath -m --relative-to="$(dirname "$link")" "$tmp$target")" "$link"
  done < <(find "$tmp" -type l -lname '/*' -print0)
  # Its own loader must run its own C library, which then names its version.
  if ! "$tmp/lib64/ld-linux-x86-64.so.2" --inhibit-cache --library-path "$tmp/lib/x86_64-linux-gnu" \
    "$tmp/lib/x86_64-linux-gnu/libc.so.6" | head -n1 | grep -q 'version 2\.31'; then
    echo "the unpacked C library does not run here"
    return 1
  fi
  (cd "$debs" && ls -- *.deb) >"$tmp/.complete"
  rm -rf "$old_root" && mv "$tmp" "$old_root"
}

# Its own download, without sudo, before the system's packages: a new clone
# with the packages in the cache needs no network for it.
if [[ $need_old -eq 1 ]]; then
  echo "setup ($profile): installing Debian 11's C library into $old_root" >&2
  mkdir -p "$deps_dir"
  old_err=$(mktemp "${TMPDIR:-/tmp}/fr-setup-old.XXXXXX")
  if reason=$(make_old_root 2>"$old_err"); then
    rm -f "$old_note"
  else
    [[ -n $reason ]] || reason=$(tail -n1 "$old_err")
    echo "setup: Debian 11's C library left out ($reason); the old-glibc build and its test will be skipped" >&2
    echo "$reason" >"$old_note"
    rm -rf "$old_root.new"
  fi
  rm -f "$old_err"
fi

if [[ ${#missing[@]} -eq 0 && $need_src -eq 0 && $want_wine32 -eq 0 ]]; then
  exit 0
fi

sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
work=$(mktemp -d "${TMPDIR:-/tmp}/fr-setup.XXXXXX")
trap 'rm -rf "$work"' EXIT

# plan <apt-get install arguments...>: simulates the install; succeeds only when
# apt finds a way that removes nothing. On failure $work/why says why.
plan() {
  local out=$work/plan
  if ! apt-get install -s -y --no-install-recommends "$@" >"$out" 2>&1; then
    grep -E '^E: ' "$out" | tail -n 1 | sed 's/^E: //' >"$work/why"
    [[ -s $work/why ]] || tail -n 1 "$out" >"$work/why"
    return 1
  fi
  local removed
  removed=$(sed -n 's/^Remv \([^ ]*\).*/\1/p' "$out" | tr '\n' ' ')
  if [[ -n $removed ]]; then
    echo "apt would remove ${removed% } to do it" >"$work/why"
    return 1
  fi
}

install() {
  $sudo apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

what=()
[[ ${#missing[@]} -gt 0 ]] && what+=("${missing[*]}")
[[ $want_wine32 -eq 1 ]] && what+=("an attempt at wine32:i386 (optional)")
[[ $need_src -eq 1 ]] && what+=("the pugixml source into $deps_dir")
echo "setup ($profile): installing $(IFS=';'; echo "${what[*]}" | sed 's/;/; /g')" >&2

if [[ $want_wine32 -eq 1 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "setup: adding the i386 architecture for wine32:i386" >&2
  $sudo dpkg --add-architecture i386
fi

src_list=$sources_dir/fr-deb-src.sources
if [[ $need_src -eq 1 && ! -f $src_list ]]; then
  echo "setup: adding a source list ($src_list) for the pugixml source" >&2
  $sudo tee "$src_list" >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
fi

# A mirror in the middle of a sync fails an index now and then: try again, then go
# on with the lists there are; whatever is really missing fails at the steps below.
for attempt in 1 2 3; do
  $sudo apt-get update -qq && break
  echo "setup: apt-get update failed (attempt $attempt of 3)" >&2
  if [[ $attempt -lt 3 ]]; then sleep "$update_pause"; fi
done

# Both Wine bitnesses in one call first: named together, pinned to the release,
# apt keeps their versions in step even when one architecture's update index is
# broken. Every plan is simulated first and refused when it removes anything.
if [[ $want_wine32 -eq 1 ]]; then
  codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
  reason=""
  done32=0
  for pin in ${codename:+"-t $codename"} ""; do
    # shellcheck disable=SC2086
    if plan $pin "${wine_both[@]}"; then
      # shellcheck disable=SC2086
      install $pin "${wine_both[@]}" && { done32=1; break; }
      reason="apt-get install ${pin:+$pin }${wine_both[*]} failed"
    else
      [[ -n $reason ]] || reason=$(cat "$work/why")
    fi
  done
  if [[ $done32 -eq 1 ]]; then
    rm -f "$wine32_note"
    [[ ${#missing[@]} -eq 0 ]] || mapfile -t missing < <(not_installed "${missing[@]}")
  else
    echo "setup: wine32:i386 left out ($reason); the 32-bit Wine pass will be skipped" >&2
    mkdir -p "$deps_dir"
    echo "$reason" >"$wine32_note"
  fi
fi

if [[ ${#missing[@]} -gt 0 ]]; then
  if ! plan "${missing[@]}"; then
    echo "setup: cannot install ${missing[*]}: $(cat "$work/why")" >&2
    exit 1
  fi
  install "${missing[@]}"
fi

if [[ $need_src -eq 1 ]]; then
  mkdir -p "$deps_dir"
  (cd "$deps_dir" && apt-get source --download-only "pugixml=$pugixml_version" >/dev/null \
     && rm -rf "$pugixml_dir" \
     && dpkg-source --no-check -x pugixml_${pugixml_version}.dsc "$pugixml_dir" >/dev/null)
fi

# Both loaders must start; a 32-bit one that does not is reported, not fatal.
if [[ $profile == full ]]; then
  if ! "$wine_lib/wine64" --version >/dev/null 2>&1; then
    echo "setup: the 64-bit Wine loader $wine_lib/wine64 does not start" >&2
    exit 1
  fi
  if installed wine32:i386 && ! "$wine_lib/wine" --version >/dev/null 2>&1; then
    echo "setup: the 32-bit Wine loader $wine_lib/wine does not start on this machine;" \
      "the 32-bit Wine pass will be skipped" >&2
  fi
fi
echo "setup ($profile): done" >&2
