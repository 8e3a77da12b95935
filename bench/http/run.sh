#!/usr/bin/env bash
# HTTP transfer benchmark: builds the bench program and runs, on one nginx of
# our own on 127.0.0.1, the component downloading a 256 MB file to disk and a
# 64 MB file into memory (buffers of 4096 and 65536 bytes, with and without a
# progress handler), a plain WinInet read loop of the same buffer sizes, a bare
# cross-thread SendMessage round trip, and native curl as the outer bound.
# Prints MB/s, ratios to the plain loop, the cost of a progress step and the
# peak memory of each run. Figures are noisy: compare ratios, not absolutes.
set -euo pipefail
source "$(dirname "$0")/../../scripts/common.sh"
deskpin_build HttpBench >/dev/null
exe="$build/tests/http/HttpBench.exe"
state=$(mktemp -d /tmp/deskpin-bench.XXXXXX)
cleanup() {
  bash "$repo/tests/servers/nginx-fixture.sh" stop "$state/nginx" || true
  rm -rf "$state"
}
trap cleanup EXIT
bash "$repo/tests/servers/nginx-fixture.sh" start "$state/nginx" 0 900 >/dev/null
port=$(cut -d' ' -f1 "$state/nginx/ports")
head -c $((256 << 20)) /dev/urandom >"$state/nginx/www/big.bin"
head -c $((64 << 20)) /dev/urandom >"$state/nginx/www/mem.bin"
big="http://127.0.0.1:$port/big.bin"
mem="http://127.0.0.1:$port/mem.bin"
target="Z:$state/out.bin"
results="$state/results.txt"

run() {  # name, arguments of the bench program
  local name="$1"
  shift
  echo "$name $(with_display "$build/wine-run.sh" "$exe" "$@" | tr -d '\r' | tail -1)" >>"$results"
}
for buffer in 4096 65536; do
  run "plain-$buffer" plain "$big" "$buffer"
  for progress in 0 1; do
    run "file-$buffer-$progress" component "$big" "$buffer" "$progress" "$target"
    run "memory-$buffer-$progress" component "$mem" "$buffer" "$progress" -
  done
done
run roundtrip roundtrip 20000
curl_rate=$(curl -s -o /dev/null -w '%{speed_download}' "$big")
echo "curl mbps=$(python3 -c "print(round($curl_rate / 1048576, 1))")" >>"$results"

python3 - "$results" <<'PY'
import sys
rows = {}
for line in open(sys.argv[1]):
    name, *pairs = line.split()
    rows[name] = dict(p.split("=", 1) for p in pairs)
rt = float(rows["roundtrip"]["us"])
print(f"bare cross-thread SendMessage round trip: {rt:.1f} us")
print(f"native curl, 256 MB: {rows['curl']['mbps']} MB/s")
print(f"{'run':<26}{'MB/s':>8}{'vs plain':>10}{'steps':>9}{'us/step':>9}{'x trip':>8}{'peak MB':>9}")
for buffer in ("4096", "65536"):
    plain = float(rows[f"plain-{buffer}"]["mbps"])
    print(f"{'plain WinInet loop ' + buffer:<26}{plain:>8.1f}{1.0:>10.2f}{'':>9}{'':>9}{'':>8}"
          f"{int(rows[f'plain-{buffer}']['peakKB']) / 1024:>9.1f}")
    for kind, size in (("file", "256 MB to disk"), ("memory", "64 MB to memory")):
        base = rows[f"{kind}-{buffer}-0"]
        for progress in ("0", "1"):
            r = rows[f"{kind}-{buffer}-{progress}"]
            mbps = float(r["mbps"])
            ratio = mbps / plain
            step = ""
            trips = ""
            if progress == "1" and int(r["steps"]) > 0:
                cost = (float(r["seconds"]) - float(base["seconds"])) / int(r["steps"]) * 1e6
                step, trips = f"{cost:.1f}", f"{cost / rt:.2f}"
            label = f"{kind} {buffer}{' +progress' if progress == '1' else ''}"
            ok = "" if r["ok"] == "1" else " FAILED"
            print(f"{label:<26}{mbps:>8.1f}{ratio:>10.2f}{r['steps']:>9}{step:>9}{trips:>8}"
                  f"{int(r['peakKB']) / 1024:>9.1f}{ok}")
PY
