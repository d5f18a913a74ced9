#!/usr/bin/env bash
# The LV2 description as LV2 hosts and lint tools want it: it validates against the LV2 schemas,
# bounds and defaults are decimals, the plugin has a class and a license, and every parameter whose
# value has a unit declares it.
set -euo pipefail
bundle_dir=$(realpath "$1")
uri=$2
schemas=/usr/lib/lv2
ttl="$bundle_dir/dsp.ttl"

fail() { echo "$1"; exit 1; }

# The only schema errors allowed are the framework's port properties on parameters (toggled,
# enumeration): hosts read switches and choices from them, although the schema puts them on ports.
report=$(sord_validate $(find "$schemas" -name '*.ttl') "$bundle_dir/manifest.ttl" "$ttl" 2>&1 || true)
errors=$(grep -c '^error' <<<"$report" || true)
allowed=$(grep -A2 '^error: Subject not in domain <http://lv2plug.in/ns/lv2core#Port>' <<<"$report" \
          | grep -c 'lv2core#portProperty' || true)
[[ "$errors" == "$allowed" ]] || fail "sord_validate: $((errors - allowed)) unexpected errors:
$(grep -v -A3 'lv2core#Port>' <<<"$report" | head -40)"

integers=$(grep -nE '^\s*(lv2:default|lv2:minimum|lv2:maximum|rdf:value)\s+-?[0-9]+(\s|;|\.\s*$)' "$ttl" || true)
[[ -z "$integers" ]] || fail "whole-number bounds written as integers:
$integers"

info=$(LV2_PATH="$(dirname "$bundle_dir"):$schemas" lv2info "$uri")
grep -q 'Class: *Dynamics Plugin' <<<"$info" || fail "lv2info shows no dynamics plugin class:
$(head -5 <<<"$info")"

triples=$(sordi -i turtle -o ntriples "file://$(realpath "$ttl")")
grep -q "^<$uri> <http://usefulinc.com/ns/doap#license> <" <<<"$triples" || fail "no doap:license"

expected="transientband hz revdecay s revpredelay ms revdamping hz revlivedecay s revlivepredelay ms
revlivedamping hz revlivelowcut hz revlivehicut hz revflavourdecay s revflavourpredelay ms revflavourdamping hz
revflavourlowcut hz revflavourhicut hz inputgain db outputgain db revlowcut hz eqlow db eqmid db eqhigh db
limiterceiling db"
units=$(grep -c "<http://lv2plug.in/ns/extensions/units#unit>" <<<"$triples")
set -- $expected
count=0
while [[ $# -gt 0 ]]; do
  grep -qF "<$uri:$1> <http://lv2plug.in/ns/extensions/units#unit> <http://lv2plug.in/ns/extensions/units#$2>" \
    <<<"$triples" || fail "parameter $1 has no unit $2"
  count=$((count + 1))
  shift 2
done
# The latency port's frames are the one further unit: proportions, switches and choices have none.
[[ "$units" == "$((count + 1))" ]] || fail "$units units declared, expected $((count + 1))"
echo "LV2 description of $uri: schema-valid but for $allowed parameter port properties, decimals, class, license, $count units"
