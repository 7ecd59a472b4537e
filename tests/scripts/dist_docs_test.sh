#!/usr/bin/env bash
# scripts/dist-docs.sh: the archives' documents in Notepad's form (a byte-order mark,
# CRLF), their text otherwise the sources', examples/ only when asked.
#   dist_docs_test.sh REFERENCE_DIR
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
reference=$1
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir "$stage/com" "$stage/native"
bash "$top/scripts/dist-docs.sh" "$stage/com" "$reference" --examples
bash "$top/scripts/dist-docs.sh" "$stage/native" "$reference"

for name in GUIDE.ru.md GUIDE.en.md REFERENCE.ru.md REFERENCE.en.md CHANGELOG.md; do
  for kind in com native; do
    f=$stage/$kind/$name
    [ -f "$f" ] || fail "$kind: no $name"
    [ "$(head -c 3 "$f" | od -An -tx1 | tr -d ' ')" = efbbbf ] || fail "$kind/$name: no byte-order mark"
    lf=$(tr -cd '\n' < "$f" | wc -c)
    crlf=$(grep -c $'\r$' "$f" || true)
    [ "$lf" -gt 0 ] && [ "$lf" -eq "$crlf" ] || fail "$kind/$name: $lf lines, $crlf end in CRLF"
  done
done
# The text is the source's, only the form changed.
tail -c +4 "$stage/com/GUIDE.ru.md" | tr -d '\r' | cmp -s - "$top/docs/guide/GUIDE.ru.md" ||
  fail "GUIDE.ru.md changed in packing"
# A source that already has a mark gets no second one.
printf '\xef\xbb\xbfx\n' > "$stage/marked.md"
mkdir "$stage/again" && cp "$reference"/REFERENCE.*.md "$stage/again/"
cp "$stage/marked.md" "$stage/again/REFERENCE.en.md"
bash "$top/scripts/dist-docs.sh" "$stage/native" "$stage/again"
[ "$(od -An -tx1 "$stage/native/REFERENCE.en.md" | tr -d ' \n')" = efbbbf780d0a ] ||
  fail "a second byte-order mark"
[ -f "$stage/com/examples/check.xml" ] && [ -f "$stage/com/examples/README.md" ] ||
  fail "COM: no examples"
[ ! -e "$stage/native/examples" ] || fail "native: examples without --examples"
# A missing document stops the packing.
if bash "$top/scripts/dist-docs.sh" "$stage/native" "$stage/nowhere" 2>/dev/null; then
  fail "a missing reference was not refused"
fi
echo "dist-docs: ok"
