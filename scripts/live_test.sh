#!/usr/bin/env bash
# The LV2 edition live: the README's PipeWire filter graph (its plug-in and
# controls) in a private PipeWire daemon, fed the demo input through a sink of
# its own instead of a microphone and recorded at a null sink. A dummy driver
# clocks the graph, so no audio hardware is needed. The daemon's timing rules
# out a bit-exact comparison, so levels are compared: the recording's quietest
# 50 ms (the noise between words) must be at least 15 dB under the input's, and
# its loudest 50 ms (speech) within 1 dB of `orvane-host` in the same mode.
#   scripts/live_test.sh [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
for tool in pipewire wireplumber dbus-daemon pw-play pw-record pw-link sox; do
  command -v "$tool" >/dev/null || { echo "live: no $tool (scripts/bootstrap.sh installs it)" >&2; exit 1; }
done
work=$(mktemp -d)
export XDG_RUNTIME_DIR=$work/run LV2_PATH=$work/lv2
mkdir -m 700 "$XDG_RUNTIME_DIR"
mkdir "$LV2_PATH" && ln -s "$build/Orvane.lv2" "$LV2_PATH/"
pids=()
stop() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; rm -rf "$work"; }
trap stop EXIT

# The demo input and the host tool's Neural Live output of it (the README's mode).
"$build/tools/host/orvane-host" demo "$work/demo" >/dev/null
graph=$(awk '/filter\.graph = \{/ { on = 1 } on { print } on && /^ *\}$/ { exit }' "$root/README.md")
grep -q 'processing_mode" = 0' <<<"$graph" || { echo "live: the README's graph is not in Neural Live" >&2; exit 1; }

# The daemon: module-access lets clients see objects; the null sink stands in
# for the speakers.
cat >"$work/daemon.conf" <<'CONF'
context.properties = { core.daemon = true core.name = pipewire-0 default.clock.rate = 48000
                       support.dbus = false mem.allow-mlock = false }
context.spa-libs = { audio.convert.* = audioconvert/libspa-audioconvert support.* = support/libspa-support }
context.modules = [
  { name = libpipewire-module-protocol-native } { name = libpipewire-module-access }
  { name = libpipewire-module-client-node } { name = libpipewire-module-adapter }
  { name = libpipewire-module-link-factory } { name = libpipewire-module-metadata }
  { name = libpipewire-module-spa-node-factory }
]
context.objects = [
  { factory = spa-node-factory
    args = { factory.name = support.node.driver node.name = live-driver priority.driver = 8000 } }
  { factory = adapter
    args = { factory.name = support.null-audio-sink node.name = live-sink media.class = Audio/Sink
             audio.position = [ MONO ] object.linger = true } }
]
CONF
cat >"$work/filter.conf" <<CONF
context.modules = [
  { name = libpipewire-module-protocol-native } { name = libpipewire-module-client-node }
  { name = libpipewire-module-adapter }
  { name = libpipewire-module-filter-chain
    args = {
      node.description = "Orvane live test"
$graph
      audio.channels = 1
      audio.position = [ MONO ]
      capture.props = { node.name = "orvane_live_input" media.class = Audio/Sink }
      playback.props = { node.name = "orvane_live_output" node.passive = true }
    }
  }
]
CONF

pipewire -c "$work/daemon.conf" >"$work/daemon.log" 2>&1 & pids+=($!)
sleep 1
# WirePlumber, which links the streams and gives nodes their ports, needs a session bus.
read -r DBUS_SESSION_BUS_ADDRESS bus < <(dbus-daemon --session --fork --print-address=1 --print-pid=1 | paste -s -d ' ')
export DBUS_SESSION_BUS_ADDRESS
pids+=("$bus")
wireplumber >"$work/wireplumber.log" 2>&1 & pids+=($!)
pipewire -c "$work/filter.conf" >"$work/filter.log" 2>&1 & pids+=($!)
for _ in $(seq 100); do pw-link -i 2>/dev/null | grep -q '^orvane_live_input:' && break; sleep 0.1; done
pw-link -i 2>/dev/null | grep -q '^orvane_live_input:' || { echo "live: the filter did not come up" >&2; tail -n 5 "$work/filter.log" >&2; exit 1; }
seconds=$(soxi -V1 -D "$work/demo/input.wav" | awk '{ printf "%d", $1 + 5 }')
timeout "$seconds" pw-record --target live-sink --rate 48000 --channels 1 --format f32 "$work/recorded.wav" >/dev/null 2>&1 &
recorder=$!
sleep 0.5
timeout "$seconds" pw-play --target orvane_live_input "$work/demo/input.wav"
sleep 1
kill -INT "$recorder" 2>/dev/null || true
wait "$recorder" 2>/dev/null || true
# The daemon's silence before and after the file is not part of the recording.
sox -V1 "$work/recorded.wav" "$work/out.wav" silence 1 0.01 0.0001 reverse silence 1 0.01 0.0001 reverse

# RMS of the quietest and the loudest 50 ms, in dBFS.
level() { sox -V1 "$1" -n stats -w 0.05 2>&1 | awk -v k="$2" '$1 == "RMS" && $2 == k { print $4 }'; }
awk -v inTr="$(level "$work/demo/input.wav" Tr)" -v outTr="$(level "$work/out.wav" Tr)" \
    -v refPk="$(level "$work/demo/neural-live.wav" Pk)" -v outPk="$(level "$work/out.wav" Pk)" 'BEGIN {
  printf "live: pauses %.1f dB under the input (need 15); speech %.2f dBFS, the host tool %.2f dBFS (need within 1 dB)\n",
    inTr - outTr, outPk, refPk
  d = outPk - refPk
  exit !(inTr - outTr >= 15 && d <= 1 && d >= -1)
}'
