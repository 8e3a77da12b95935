#!/usr/bin/env bash
# HTTP transfer benchmark: builds the bench program and runs, on one nginx of
# our own on 127.0.0.1, the component downloading a 256 MB file to disk and a
# 64 MB file into memory (buffers of 4096 and 65536 bytes, with and without a
# progress handler), a plain WinInet read loop of the same buffer sizes over
# the same files, a bare cross-thread SendMessage round trip, and native curl
# as the outer bound. Prints MB/s, ratios to the plain loop, the cost of a
# progress step and the peak memory of each run.
#
# Loopback figures under Wine wander by a third from one run to the next, so
# every measurement is repeated (REPEAT, default 5) with the kinds interleaved;
# ratios and step costs are taken within one repetition and their median is
# shown with the range over the repetitions.
#
#   bash bench/http/run.sh            REPEAT=3 bash bench/http/run.sh
set -euo pipefail
source "$(dirname "$0")/../../scripts/common.sh"
repeat=${REPEAT:-5}
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

run() {  # repetition, name, arguments of the bench program
  local rep="$1" name="$2"
  shift 2
  echo "$rep $name $(with_display "$build/wine-run.sh" "$exe" "$@" | tr -d '\r' | tail -1)" >>"$results"
}
for rep in $(seq "$repeat"); do
  echo "repetition $rep of $repeat ..." >&2
  for buffer in 4096 65536; do
    run "$rep" "plain-file-$buffer" plain "$big" "$buffer"
    run "$rep" "file-$buffer-0" component "$big" "$buffer" 0 "$target"
    run "$rep" "file-$buffer-1" component "$big" "$buffer" 1 "$target"
    run "$rep" "plain-memory-$buffer" plain "$mem" "$buffer"
    run "$rep" "memory-$buffer-0" component "$mem" "$buffer" 0 -
    run "$rep" "memory-$buffer-1" component "$mem" "$buffer" 1 -
  done
  run "$rep" roundtrip roundtrip 20000
  # The same call after as much work as receiving a 64 KB block takes: a
  # thread that has been idle that long answers more slowly on this machine.
  run "$rep" roundtrip-250 roundtrip 5000 250
  run "$rep" synchronize synchronize 20000
  run "$rep" synchronize-250 synchronize 5000 250
  curl_rate=$(curl -s -o /dev/null -w '%{speed_download}' "$big")
  echo "$rep curl mbps=$(python3 -c "print(round($curl_rate / 1048576, 1))")" >>"$results"
done

python3 - "$results" "$repeat" <<'PY'
import statistics, sys
reps = {}
for line in open(sys.argv[1]):
    rep, name, *pairs = line.split()
    reps.setdefault(rep, {})[name] = dict(p.split("=", 1) for p in pairs)
runs = list(reps.values())

def med(values):
    return statistics.median(values)

def spread(values, fmt):
    return f"{fmt.format(med(values))} ({fmt.format(min(values))}-{fmt.format(max(values))})"

failed = sorted({f"{name}" for r in runs for name, row in r.items() if row.get("ok", "1") != "1"})
trip = [float(r["roundtrip"]["us"]) for r in runs]
print(f"{len(runs)} repetitions; median (lowest-highest)")
print(f"bare cross-thread SendMessage round trip: {spread(trip, '{:.1f}')} us")
for name, label in (("roundtrip-250", "the same after 250 us of work"),
                    ("synchronize", "the thread component's Synchronize"),
                    ("synchronize-250", "Synchronize after 250 us of work")):
    us = [float(r[name]["us"]) for r in runs]
    x = [u / t for u, t in zip(us, trip)]
    print(f"{label}: {spread(us, '{:.1f}')} us, {spread(x, '{:.2f}')} round trips")
print(f"native curl, 256 MB: {spread([float(r['curl']['mbps']) for r in runs], '{:.0f}')} MB/s")
print(f"{'run':<24}{'MB/s':>8}{'vs plain loop':>19}{'steps':>7}{'us/step':>9}"
      f"{'x round trip':>19}{'peak MB':>9}")
ratios, trips = [], []
for buffer in ("4096", "65536"):
    for kind, size in (("file", "256 MB"), ("memory", "64 MB")):
        plain = [float(r[f"plain-{kind}-{buffer}"]["mbps"]) for r in runs]
        peak = max(int(r[f"plain-{kind}-{buffer}"]["peakKB"]) for r in runs) / 1024
        print(f"{f'plain loop {size} ' + buffer:<24}{med(plain):>8.1f}{'':>19}{'':>7}{'':>9}"
              f"{'':>19}{peak:>9.1f}")
        for progress in ("0", "1"):
            name = f"{kind}-{buffer}-{progress}"
            mbps = [float(r[name]["mbps"]) for r in runs]
            ratio = [float(r[name]["mbps"]) / float(r[f"plain-{kind}-{buffer}"]["mbps"]) for r in runs]
            peak = max(int(r[name]["peakKB"]) for r in runs) / 1024
            steps = runs[0][name]["steps"]
            step = cost = ""
            if progress == "1":
                # The time a handler adds, spread over its steps, within one repetition.
                us = [(float(r[name]["seconds"]) - float(r[f"{kind}-{buffer}-0"]["seconds"]))
                      / int(r[name]["steps"]) * 1e6 for r in runs]
                x = [u / float(r["roundtrip"]["us"]) for u, r in zip(us, runs)]
                step, cost = f"{med(us):.1f}", spread(x, "{:.2f}")
                trips.append((f"{kind} {buffer}", med(x)))
            else:
                ratios.append((f"{kind} {buffer}", med(ratio)))
            label = f"{kind} {buffer}{' +progress' if progress == '1' else ''}"
            print(f"{label:<24}{med(mbps):>8.1f}{spread(ratio, '{:.2f}'):>19}{steps:>7}{step:>9}"
                  f"{cost:>19}{peak:>9.1f}")
print()
print("goal: without a progress handler at least 0.9 of the plain loop (medians): "
      + ", ".join(f"{n} {v:.2f}{'' if v >= 0.9 else ' NOT MET'}" for n, v in ratios))
print("goal: a progress step at most 1.2 round trips (medians): "
      + ", ".join(f"{n} {v:.2f}{'' if v <= 1.2 else ' NOT MET'}" for n, v in trips))
file_peak = max(int(r[f"file-{b}-{p}"]["peakKB"]) for r in runs for b in ("4096", "65536") for p in "01") / 1024
loop_peak = max(int(r[f"plain-file-{b}"]["peakKB"]) for r in runs for b in ("4096", "65536")) / 1024
memory_peak = max(int(r[f"memory-{b}-{p}"]["peakKB"]) for r in runs for b in ("4096", "65536") for p in "01") / 1024
print(f"peak of a 256 MB file download: {file_peak:.1f} MB, {file_peak - loop_peak:+.1f} MB over the plain"
      f" loop's {loop_peak:.1f} MB (the process under Wine before any transfer)")
print(f"goal: a 64 MB memory download peaks below 96 MB: {memory_peak:.1f} MB"
      f"{'' if memory_peak < 96 else ' NOT MET'}")
if failed:
    print("FAILED runs: " + ", ".join(failed))
    sys.exit(1)
PY
