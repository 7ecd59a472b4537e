#!/usr/bin/env bash
# The emulator's tape page in headless Chromium (a stage of `make test`): see
# scripts/tape_view_browser.py. Runs what `make build-native` built; the
# screenshots it decodes stay in FR_TAPE_VIEW_OUT (default build/native/tape-view/).
# Prints "tape-view: skipped ..." when Chromium or zbarimg cannot run here;
# FR_CHROMIUM names another Chromium binary.
set -u

here=$(cd "$(dirname "$0")/.." && pwd)
build=${FR_TAPE_VIEW_BUILD_DIR:-$here/build/native}
out=${FR_TAPE_VIEW_OUT:-$build/tape-view}

for tool in "$build/tools/fremu/fremu" "$build/tools/frhost/frhost"; do
  if [[ ! -x $tool ]]; then
    echo "tape-view: $tool is not built (make build-native)" >&2
    exit 1
  fi
done
chromium=${FR_CHROMIUM:-$(command -v chromium || true)}
if [[ -z $chromium ]]; then
  echo "tape-view: skipped: no chromium (scripts/setup.sh full installs it)"
  exit 0
fi
if ! command -v zbarimg >/dev/null; then
  echo "tape-view: skipped: no zbarimg (scripts/setup.sh full installs zbar-tools)"
  exit 0
fi

timeout 600 python3 "$here/scripts/tape_view_browser.py" --fremu "$build/tools/fremu/fremu" \
  --frhost "$build/tools/frhost/frhost" --examples "$here/examples" --out "$out" \
  --chromium "$chromium"
status=$?
if [[ $status -eq 3 ]]; then
  echo "tape-view: skipped: chromium cannot run on this machine"
  exit 0
fi
exit $status
