#!/usr/bin/env bash
# Runs the title picture benchmark and prints it as ratios: decoding speed against libpng
# decoding the same picture as PNG, and the encoder's output size against the PNG's.
# Usage: bench/image_decode.sh [BUILD_DIR]   (host tree, default build/host)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build/host}/bench_image_decode
json=$(mktemp)
trap 'rm -f "$json"' EXIT
"$bin" --benchmark_format=json --benchmark_min_time=0.5 >"$json" 2>/dev/null
jq -r '
  [.benchmarks[] | {name: .name, t: .real_time, kind: .label, r: .title_per_png}] as $b
  | ($b | map(select(.name | startswith("DecodeTitle/")))) as $ours
  | "decode speed, title format vs libpng (higher is better):",
    ($ours[] | . as $o
      | ($b[] | select(.name == ($o.name | sub("DecodeTitle"; "DecodePng")))) as $png
      | "  \($o.kind) \($o.name | capture("w:(?<w>[0-9]+)/h:(?<h>[0-9]+)") | "\(.w)x\(.h)"): \(($png.t / $o.t * 10 | floor) / 10)x"),
    "encoded size, title format / PNG (lower is better):",
    ($b[] | select(.name | startswith("EncodeTitle/"))
      | "  \(.kind) \(.name | capture("w:(?<w>[0-9]+)/h:(?<h>[0-9]+)") | "\(.w)x\(.h)"): \((.r * 100 | floor) / 100)")
' "$json"
