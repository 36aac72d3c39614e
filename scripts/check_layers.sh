#!/usr/bin/env bash
# Checks that the code's layers point one way.
#   scripts/check_layers.sh [build-dir]
# 1. Every #include "a/b.h" in src/ and tools/ goes to the file's own folder or
#    to a folder its layer may use (the table below).
# 2. The folders' include graph has no cycle.
# 3. With a configured build folder: each folder's CMake library links exactly
#    the project libraries of the folders its sources include (read from
#    CMake's own --graphviz output), so the build graph has the same shape.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-}
cd "$root"

# Who may use whom, downwards only. editor/toolkit and editor/knob are layers
# of their own below editor; each edition's view adapter (editor/vst3, lv2/ui)
# is a layer above it, so the editor itself cannot reach either edition.
declare -A uses=(
  [params]=""
  [files]=""
  [compat]=""
  [protocol]="params"
  [denoiser]=""
  [engine]="params denoiser"
  [processor]="engine params protocol"
  [i18n]=""
  [presets]=""
  [controller]="i18n params protocol"
  [editor/toolkit]=""
  [editor/knob]="editor/toolkit"
  [editor]="editor/toolkit editor/knob presets i18n params files"
  [editor/vst3]="controller editor editor/toolkit"
  [module]="processor controller editor/vst3 protocol params"
  # The LV2 edition: the plug-in (the same engines and state record, no VST 3)
  # and the UI, which share the port layout in protocol.
  [lv2]="engine protocol params"
  [lv2/ui]="protocol editor editor/toolkit"
  # The host tool: a VST 3 host library that knows no plug-in, the speech
  # material, the front end, and main.
  [tools/host/vsthost]=""
  [tools/host/signals]=""
  [tools/host/cli]="tools/host/vsthost tools/host/signals files params i18n protocol editor/toolkit lv2"
  [tools/host]="tools/host/cli"
)
# The CMake library each folder builds.
declare -A library=(
  [params]=orvane_params [files]=orvane_files [protocol]=orvane_protocol
  [denoiser]=orvane_denoiser [engine]=orvane_engine [processor]=orvane_processor
  [i18n]=orvane_i18n [presets]=orvane_presets [controller]=orvane_controller
  [editor/toolkit]=orvane_toolkit [editor/knob]=orvane_knob [editor]=orvane_editor
  [editor/vst3]=orvane_editor_vst3 [lv2/ui]=orvane_lv2_ui
  [module]=Orvane [lv2]=orvane_lv2
  [tools/host/vsthost]=orv_vsthost [tools/host/signals]=orv_signals
  [tools/host/cli]=orv_host_cli [tools/host]=orvane-host
)

# The layer of a path relative to src/ (or tools/host/...). The host tool's
# folders include one another as "vsthost/plugin.h", relative to tools/host.
layer_of() {
  if [ -f "tools/host/$1" ]; then
    case "$1" in
      */*) echo "tools/host/${1%%/*}" ;;
      *) echo tools/host ;;
    esac
    return
  fi
  case "$1" in
    tools/host/*/*) local rest=${1#tools/host/}; echo "tools/host/${rest%%/*}" ;;
    tools/host/*) echo tools/host ;;
    editor/toolkit/*) echo editor/toolkit ;;
    editor/knob/*) echo editor/knob ;;
    editor/vst3/*) echo editor/vst3 ;;
    lv2/ui/*) echo lv2/ui ;;
    */*) echo "${1%%/*}" ;;
    *) echo "" ;;
  esac
}

status=0
edges=$(mktemp)
trap 'rm -f "$edges"' EXIT
declare -A included  # "layer dep" pairs seen

while IFS= read -r file; do
  case "$file" in
    src/*) own=$(layer_of "${file#src/}") ;;
    tools/host/*) own=$(layer_of "$file") ;;
    *) continue ;;
  esac
  [ -n "$own" ] || continue
  if [ -z "${uses[$own]+set}" ]; then
    echo "layers: $file is in folder '$own', which has no place in the layer table" >&2
    status=1
    continue
  fi
  while IFS= read -r inc; do
    [[ "$inc" == */* ]] || continue  # a header beside the file
    dep=$(layer_of "$inc")
    [ "$dep" = "$own" ] && continue
    if [[ " ${uses[$own]} " != *" $dep "* ]]; then
      echo "layers: $file includes \"$inc\": '$own' may not use '$dep'" >&2
      status=1
    fi
    included["$own $dep"]=1
    echo "$own $dep" >>"$edges"
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(git ls-files 'src/*.c' 'src/*.h' 'src/*.cpp' 'tools/host/*.h' 'tools/host/*.cpp')

if ! sort -u "$edges" | tsort >/dev/null 2>"$edges.err"; then
  echo "layers: the folders include one another in a cycle:" >&2
  cat "$edges.err" >&2
  status=1
fi
rm -f "$edges.err"

if [ -n "$build" ]; then
  [ -f "$build/CMakeCache.txt" ] || { echo "layers: $build is not a configured build folder" >&2; exit 1; }
  dot="$build/layers/graph.dot"
  mkdir -p "$build/layers"
  cmake -S "$root" -B "$build" --graphviz="$dot" >/dev/null
  # node id -> target name, then "from to" pairs of target names.
  declare -A name_of=()
  while IFS=$'\t' read -r id name; do name_of[$id]=$name; done < <(
    sed -n 's/^[[:space:]]*"\(node[0-9]*\)" \[ label = "\([^"]*\)".*/\1\t\2/p' "$dot")
  declare -A linked=()
  while IFS=$'\t' read -r from to; do
    linked["${name_of[$from]} ${name_of[$to]}"]=1
  done < <(sed -n 's/^[[:space:]]*"\(node[0-9]*\)" -> "\(node[0-9]*\)".*/\1\t\2/p' "$dot")
  for folder in "${!library[@]}"; do
    lib=${library[$folder]}
    for dep in "${!library[@]}"; do
      [ "$dep" = "$folder" ] && continue
      want=${included["$folder $dep"]:-}
      have=${linked["$lib ${library[$dep]}"]:-}
      if [ -n "$want" ] && [ -z "$have" ]; then
        echo "layers: $lib includes headers of $dep but does not link ${library[$dep]}" >&2
        status=1
      elif [ -z "$want" ] && [ -n "$have" ]; then
        echo "layers: $lib links ${library[$dep]} but includes nothing of $dep" >&2
        status=1
      fi
    done
  done
fi

[ $status = 0 ] && echo "layers: includes and links point one way"
exit $status
