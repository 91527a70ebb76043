#!/usr/bin/env bash
# Runs every benchmark and prints one Markdown table in which each figure is
# a ratio against a baseline measured in the same run:
#   listing parse      CPU time of parsing a full answer buffer, against a
#                      memchr line count of the same buffer
#   upload vs sz       data-phase throughput of our sender into rb, against
#                      sz --ymodem into rb, over the same pseudo-terminal relay
#   vtx ls             wall time of "vtx ls" of the sample controller and of
#                      one with 600 programs through the simulator's 57600
#                      bit/s pacing, against a bare client that sends "l" and
#                      reads up to the blank line, and against the listing's
#                      line time
#   upload at 115200   payload bytes per second of a whole "vtx put" through
#                      the simulator's 115200 bit/s pacing, and of its data
#                      phase alone, against the line's 11520 bytes per second
#   vtx backup         wall time of "vtx backup" of the sample controller
#                      through the simulator's 57600 bit/s pacing, against the
#                      line time of its three answers and the read time of
#                      quiet that ends each of the two lists
#   scripts/perf-report.sh [BUILD_DIR]   (default: build/native)
# Environment: UPLOAD_BENCH_BYTES, UPLOAD_BENCH_ROUNDS (bench_upload's file
# size and rounds, default 2 MiB and 3), PACED_PUT_BYTES (default 256 KiB).
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
targets=(bench_listing bench_upload vtx vantorix-sim)
missing=()
for target in "${targets[@]}"; do
  [ -x "$build/$target" ] || missing+=("$target")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ -f "$build/build.ninja" ] || [ -f "$build/Makefile" ]; then
    cmake --build "$build" -j2 --target "${missing[@]}" >/dev/null || exit 2
  else
    echo "$0: $build lacks ${missing[*]} (configure and build the native preset first)" >&2
    exit 2
  fi
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
start=$(date +%s)
rows=()
failed=0

# One table row: FIGURE OURS BASELINE RATIO GOAL MET(1/0).
add_row() {
  local verdict="yes"
  [ "$6" = 1 ] || { verdict="**no**"; failed=1; }
  rows+=("| $1 | $2 | $3 | $4 | $5 | $verdict |")
}

# (a) The listing parser against a line count, both in CPU time of one thread.
echo "listing parse ..." >&2
if "$build/bench_listing" --benchmark_min_time=0.3 --benchmark_out="$work/listing.json" \
     --benchmark_out_format=json >/dev/null 2>&1; then
  read -r ours base ratio < <(python3 - "$work/listing.json" <<'PY'
import json, sys
runs = {b["name"]: b for b in json.load(open(sys.argv[1]))["benchmarks"]}
parse = runs["BM_ParseListing"]
ratio = parse["parse/linecount"]
ours = parse["parse_cpu_us"]
print(f"{ours:.0f} {ours / ratio:.1f} {ratio:.2f}")
PY
)
  met=$(python3 -c "print(1 if $ratio <= 10 else 0)")
  add_row "listing parse, 256 KiB answer (CPU)" "${ours} µs" "${base} µs memchr line count" "$ratio" "≤ 10" "$met"
else
  add_row "listing parse" "failed" "-" "-" "≤ 10" 0
fi

# (b) Our sender against sz, both into rb.
echo "upload against sz --ymodem ..." >&2
bytes=${UPLOAD_BENCH_BYTES:-2097152}
rounds=${UPLOAD_BENCH_ROUNDS:-3}
if "$build/bench_upload" "$bytes" "$rounds" > "$work/upload.txt" 2>&1; then
  read -r ours base ratio < <(python3 - "$work/upload.txt" <<'PY'
import re, sys
text = open(sys.argv[1]).read()
ours = float(re.search(r"^ours: data (\d+)", text, re.M).group(1))
sz = float(re.search(r"^sz: +data (\d+)", text, re.M).group(1))
print(f"{ours / 1024:.0f} {sz / 1024:.0f} {ours / sz:.2f}")
PY
)
  met=$(python3 -c "print(1 if $ratio >= 1.0 else 0)")
  add_row "upload into rb, $((bytes / 1024)) KiB, data phase" "${ours} KiB/s" "${base} KiB/s sz --ymodem" "$ratio" "≥ 1.0" "$met"
else
  sed -n '1,20p' "$work/upload.txt" >&2
  add_row "upload into rb against sz" "failed" "-" "-" "≥ 1.0" 0
fi

# (c) vtx ls at 57600 bit/s, best of three, of the sample controller and of
# one holding 600 programs: against a bare client on the same line that sends
# "l" and reads up to the blank line, and against the listing's line time
# (its bytes at ten bits each).
measure_ls() {   # NAME ROOT: appends "NAME LS_NS BARE_NS BYTES" to $work/ls.txt, or fails
  local name=$1 root=$2
  rm -f "$work/ls.ns" "$work/bare.ns"
  VANTORIX_SIM="$build/vantorix-sim" scripts/with-sim.sh "$work/com-$name" --root "$root" --baud 57600 -- \
    bash -c 'for round in 1 2 3; do
               begin=$(date +%s%N)
               "$1" --port "$VANTORIX_SIM_PTY" ls > /dev/null 2>&1 || exit 1
               echo $(( $(date +%s%N) - begin )) >> "$2/ls.ns"
               python3 - "$VANTORIX_SIM_PTY" >> "$2/bare.ns" <<"PY"
import os, select, sys, termios, time, tty
fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY)
tty.setraw(fd)
termios.tcflush(fd, termios.TCIOFLUSH)
begin = time.monotonic_ns()
os.write(fd, b"l\r\n")
answer = b""
while b"\r\n\r\n" not in answer and select.select([fd], [], [], 5)[0]:
    answer += os.read(fd, 4096)
print(time.monotonic_ns() - begin, len(answer))
PY
             done' _ "$build/vtx" "$work" || return 1
  python3 -c "
ls = min(int(n) for n in open('$work/ls.ns'))
bare = min(open('$work/bare.ns'), key=lambda l: int(l.split()[0])).split()
print('$name', ls, bare[0], bare[1])" >> "$work/ls.txt"
}

echo "vtx ls at 57600 bit/s ..." >&2
cp -r sim/sample "$work/sample"
cp -r sim/sample "$work/programs"
for i in $(seq 600); do : > "$work/programs/ram/cncprg/program_number_$i.nc"; done
: > "$work/ls.txt"
for pair in "sample:the sample controller" "programs:600 programs"; do
  name=${pair%%:*} label=${pair#*:}
  if measure_ls "$name" "$work/$name"; then
    read -r ours base ratio met linetime lineratio linemet bytes < <(python3 -c "
name, ls, bare, size = [l.split() for l in open('$work/ls.txt') if l.startswith('$name ')][-1]
ls, bare, size = int(ls) / 1e6, int(bare) / 1e6, int(size)
line = size * 10 / 57600 * 1e3
print(f'{ls:.0f} {bare:.0f} {ls / bare:.2f} {1 if ls < 250 else 0} {line:.0f} {ls / line:.2f} {1 if ls < line + 100 else 0} {size}')")
    [ "$name" = sample ] && add_row "\`vtx ls\` of $label at 57600 bit/s, whole command" "${ours} ms" \
      "${base} ms bare listing read" "$ratio" "< 250 ms" "$met"
    add_row "\`vtx ls\` of $label at 57600 bit/s, against the line time of its $bytes bytes" "${ours} ms" \
      "${linetime} ms line time" "$lineratio" "< 100 ms more" "$linemet"
  else
    add_row "vtx ls of $label at 57600 bit/s" "failed" "-" "-" "< 100 ms more" 0
  fi
done

# (d) vtx put through the simulator paced at 115200 bit/s: a 1 KiB file and
# the payload file, each a whole command. The payload's rate is the figure;
# the difference of the two runs gives the rate of the data phase alone,
# without the fixed cost of the listing read and the start handshakes.
echo "vtx put at 115200 bit/s ..." >&2
payload=${PACED_PUT_BYTES:-262144}
cp -r sim/sample "$work/root"
head -c 1024 /dev/urandom > "$work/small.nc"
head -c "$payload" /dev/urandom > "$work/paced.nc"
VANTORIX_SIM="$build/vantorix-sim" scripts/with-sim.sh "$work/com1" --root "$work/root" \
  --ram-size $((payload * 4)) --baud 115200 -- \
  bash -c 'for name in small paced; do
             begin=$(date +%s%N)
             "$1" --port "$VANTORIX_SIM_PTY" --baud 115200 put -p /ram/cncprg/ "$2/$name.nc" 2>/dev/null || exit 1
             echo $(( $(date +%s%N) - begin )) > "$2/$name.ns"
           done' _ "$build/vtx" "$work"
if [ $? -eq 0 ] && cmp -s "$work/paced.nc" "$work/root/ram/cncprg/paced.nc"; then
  read -r whole wholeRatio fixed data dataRatio < <(python3 -c "
small = int(open('$work/small.ns').read()) / 1e9
big = int(open('$work/paced.ns').read()) / 1e9
whole = $payload / big
data = ($payload - 1024) / (big - small)
print(f'{whole:.0f} {whole / 11520:.3f} {small:.1f} {data:.0f} {data / 11520:.3f}')")
  met=$(python3 -c "print(1 if $wholeRatio >= 0.92 else 0)")
  add_row "vtx put $((payload / 1024)) KiB at 115200 bit/s, whole command (1 KiB: ${fixed} s)" \
    "${whole} B/s" "11520 B/s line rate" "$wholeRatio" "≥ 0.92" "$met"
  met=$(python3 -c "print(1 if $dataRatio >= 0.95 else 0)")
  add_row "vtx put at 115200 bit/s, data phase ($((payload / 1024)) KiB run less 1 KiB run)" \
    "${data} B/s" "11520 B/s line rate" "$dataRatio" "≥ 0.95" "$met"
else
  add_row "vtx put at 115200 bit/s" "failed" "-" "-" "≥ 0.92" 0
fi

# (e) vtx backup of the sample controller at 57600 bit/s, best of three,
# against the line time of its three answers (the listing's bytes as the bare
# read of (c) counted them, the lists' as the sample's files hold them) plus
# the two read times (990 ms each) of quiet that end the parameter list and
# the tool list, which carry no end mark of their own.
echo "vtx backup at 57600 bit/s ..." >&2
cp -r sim/sample "$work/backed"
printf '[sample]\nport = %s\n' "$work/com-backup" > "$work/machines.ini"
if VTX_MACHINES="$work/machines.ini" VANTORIX_SIM="$build/vantorix-sim" scripts/with-sim.sh "$work/com-backup" \
     --root "$work/backed" --baud 57600 -- \
     bash -c 'for round in 1 2 3; do
                begin=$(date +%s%N)
                "$1" -m sample backup -o "$2/backups" > /dev/null 2>&1 || exit 1
                echo $(( $(date +%s%N) - begin )) >> "$2/backup.ns"
              done' _ "$build/vtx" "$work"; then
  listing=$(awk '$1 == "sample" {print $4}' "$work/ls.txt" | tail -n 1)
  lists=$(( $(stat -c %s sim/sample/.params.txt) + $(stat -c %s sim/sample/.tools.txt) ))
  read -r ours line quiet ratio met < <(python3 -c "
ours = min(int(n) for n in open('$work/backup.ns')) / 1e6
line = (${listing:-0} + $lists) * 10 / 57600 * 1e3
quiet = line + 2 * 990
print(f'{ours:.0f} {line:.0f} {quiet:.0f} {ours / quiet:.2f} {1 if ours < quiet + 100 else 0}')")
  add_row "\`vtx backup\` of the sample controller at 57600 bit/s: listing, parameter list, tool list" "${ours} ms" \
    "${quiet} ms: line time ${line} ms + 2 × 990 ms quiet" "$ratio" "< 100 ms more" "$met"
else
  add_row "vtx backup of the sample controller at 57600 bit/s" "failed" "-" "-" "< 100 ms more" 0
fi

echo
echo "| figure | ours | baseline | ratio | goal | met |"
echo "|---|---|---|---|---|---|"
printf '%s\n' "${rows[@]}"
echo
echo "($(( $(date +%s) - start )) s)"
exit "$failed"
