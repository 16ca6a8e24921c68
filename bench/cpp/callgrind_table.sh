#!/usr/bin/env bash
# Instruction counts of every shape and function of text_scan_bench under
# callgrind (only the measured call), one line each:
#   bench/cpp/callgrind_table.sh BUILD_DIR [MB]
set -euo pipefail
bench=${1:?build directory}/bench/cpp/text_scan_bench
mb=${2:-1}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fns="json_to_msgpack json_to_cbor msgpack_to_json cbor_to_json parse_json_text parse_json_bytes write_json skip_json value_from_json_text value_from_json_bytes value_to_json"
for shape in text numbers records nested pretty; do
  for fn in $fns; do
    valgrind --tool=callgrind --callgrind-out-file="$out/cg" --toggle-collect='*run_measured*' \
      "$bench" --shape "$shape" --fn "$fn" --mb "$mb" --iters 1 >"$out/stdout" 2>"$out/stderr"
    bytes=$(awk '{print $3}' "$out/stdout")
    ir=$(callgrind_annotate "$out/cg" 2>/dev/null | awk '/PROGRAM TOTALS/ {gsub(",", "", $1); print $1}')
    printf '%-8s %-22s %10s bytes %14s Ir %7.2f Ir/byte\n' "$shape" "$fn" "$bytes" "$ir" "$(echo "$ir / $bytes" | bc -l)"
  done
done
