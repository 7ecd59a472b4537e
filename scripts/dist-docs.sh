#!/usr/bin/env bash
# The user documents of both archives, in the form Notepad at a cash desk reads:
# UTF-8 with a byte-order mark and CRLF line ends (the sources stay LF).
#   dist-docs.sh STAGE REFERENCE_DIR [--examples]
# STAGE gets the user guide, the reference made by the build (REFERENCE_DIR) and
# the change log; with --examples also examples/ (its XML packages as they are).
set -euo pipefail
stage=$1 reference=$2 examples=${3:-}
top=$(cd "$(dirname "$0")/.." && pwd)

# One text file: a BOM unless it has one, CR before every LF.
notepad() {
  local from=$1 to=$2
  { if [ "$(head -c 3 "$from" | od -An -tx1 | tr -d ' ')" != efbbbf ]; then printf '\xef\xbb\xbf'; fi
    sed 's/\r*$/\r/' "$from"; } > "$to"
}

for f in "$top"/docs/guide/GUIDE.ru.md "$top"/docs/guide/GUIDE.en.md \
         "$reference"/REFERENCE.ru.md "$reference"/REFERENCE.en.md "$top"/CHANGELOG.md; do
  [ -f "$f" ] || { echo "dist-docs: missing $f" >&2; exit 1; }
  notepad "$f" "$stage/$(basename "$f")"
done
if [ "$examples" = --examples ]; then
  mkdir -p "$stage/examples"
  cp "$top"/examples/*.xml "$stage/examples/"
  notepad "$top/examples/README.md" "$stage/examples/README.md"
fi
