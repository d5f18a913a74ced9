#!/usr/bin/env bash
# The LV2 bundle declares our URI, and a real LV2 host instantiates and runs the binary.
set -euo pipefail
bundle_dir=$1
uri=$2
export LV2_PATH=$(dirname "$bundle_dir")

listed=$(lv2ls)
if [[ "$listed" != "$uri" ]]; then
  echo "lv2ls printed '$listed', expected '$uri'"
  exit 1
fi

server="vantora-test-$$"
jackd --no-realtime -n "$server" -d dummy -r 48000 -p 256 >/dev/null 2>&1 &
jack_pid=$!
log=$(mktemp)
trap 'kill $jack_pid 2>/dev/null || true; rm -f "$log"' EXIT
for _ in $(seq 1 50); do # wait until the server answers (slow on a busy machine)
  jack_lsp -s "$server" >/dev/null 2>&1 && break
  sleep 0.2
done

# jalv runs until killed: still running after three seconds means it instantiated and processed.
set +e
JACK_DEFAULT_SERVER="$server" timeout 3 jalv -i "$uri" >"$log" 2>&1
status=$?
set -e
if [[ $status -ne 124 ]] || ! grep -q "Block length" "$log"; then
  echo "jalv could not run the plug-in (exit $status):"
  cat "$log"
  exit 1
fi
echo "lv2ls and jalv found $uri"
