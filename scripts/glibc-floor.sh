#!/usr/bin/env bash
# glibc-floor.sh LIB [OUT]: checks that a Linux library asks for nothing a system
# with glibc 2.28 lacks: no GLIBC_ version above 2.28 (nor GLIBC_PRIVATE), no
# GLIBCXX_ or CXXABI_ (the C++ runtime is linked in), and only the C library's
# own objects as NEEDED. Fails naming every symbol or object at fault. With OUT,
# the library is first stripped into OUT, which is what is checked (and shipped);
# a failed check leaves no OUT.
# Ends with one line: "glibc floor: NAME asks for GLIBC_x.y at most".
# FR_GLIBC_FLOOR names another floor (default 2.28): a lower one shows the check
# failing on the library as it is.
set -euo pipefail

floor=${FR_GLIBC_FLOOR:-2.28}
allowed_needed="libc.so.6 libm.so.6 libpthread.so.0 libdl.so.2 ld-linux-x86-64.so.2"

[[ $# -ge 1 && $# -le 2 ]] || { echo "usage: $0 LIB [OUT]" >&2; exit 2; }
lib=$1
out=${2:-}
if [[ -n $out ]]; then
  rm -f "$out"
  strip --strip-unneeded -o "$out.tmp" "$lib"
  checked=$out.tmp
else
  checked=$lib
fi
trap '[[ -z $out ]] || rm -f "$out.tmp"' EXIT
name=$(basename "${out:-$lib}")

# version_gt A B: A is a later version than B (both dotted numbers).
version_gt() { [[ $1 != "$2" && $(printf '%s\n%s\n' "$1" "$2" | sort -V | tail -n1) == "$1" ]]; }

problems=()
# Every dynamic symbol with its version: "name@VERSION" or "name@@VERSION".
while read -r symbol version; do
  case $version in
    GLIBC_PRIVATE | GLIBCXX_* | CXXABI_*) problems+=("$symbol ($version)") ;;
    GLIBC_[0-9]*) version_gt "${version#GLIBC_}" "$floor" && problems+=("$symbol ($version)") ;;
  esac
done < <(readelf --dyn-syms -W "$checked" | awk 'NR > 3 && $8 ~ /@/ { split($8, p, "@+"); print p[1], p[2] }' |
  sort -u)
# The versions the library needs, symbols or not.
highest=""
while read -r version; do
  case $version in
    GLIBC_[0-9]*)
      v=${version#GLIBC_}
      if [[ -z $highest ]] || version_gt "$v" "$highest"; then highest=$v; fi
      version_gt "$v" "$floor" && problems+=("version $version")
      ;;
    *) problems+=("version $version") ;;
  esac
done < <(readelf -V -W "$checked" | sed -n 's/.*Name: \([A-Z_]*[0-9.]*[A-Z]*\)  *Flags.*/\1/p' | sort -u)
while read -r needed; do
  [[ " $allowed_needed " == *" $needed "* ]] || problems+=("NEEDED $needed")
done < <(readelf -d -W "$checked" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')

if [[ ${#problems[@]} -gt 0 ]]; then
  # The same fault through several symbols is named once per symbol.
  mapfile -t problems < <(printf '%s\n' "${problems[@]}" | sort -u)
  echo "glibc floor: $name asks for more than glibc $floor gives:" >&2
  printf '  %s\n' "${problems[@]}" >&2
  exit 1
fi
needed=$(readelf -d -W "$checked" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' ')
[[ -z $out ]] || mv -f "$out.tmp" "$out"
echo "glibc floor: $name asks for GLIBC_${highest:-none} at most (floor $floor); NEEDED: ${needed% }"
