#!/usr/bin/env bash
# The main job on the built-in demo input: installs what is missing, builds the
# plug-in and the host tool, and cleans noisy speech in all three modes.
#   scripts/demo.sh [output folder, default out/demo]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/out/demo}
bash "$root/scripts/bootstrap.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j2 --target Orvane orvane-host
# The bundle just built, not one installed in ~/.vst3 or elsewhere.
"$root/build/tools/host/orvane-host" demo "$out" --bundle "$root/build/Orvane.vst3"
