#!/usr/bin/env bash
# Runs vtx under valgrind against the simulated controller: "ls", "ls --json",
# "put" of a few files, two backups (the second compared with the first) and
# the diff of the two. Any memory error or leak (definite, indirect or
# possible) fails the check. Prints one line per run and a summary.
#   scripts/valgrind-check.sh [BUILD_DIR]   (default: build/native)
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
vtx=$build/vtx
sim=$build/vantorix-sim
for program in "$vtx" "$sim"; do
  if [ ! -x "$program" ]; then
    echo "$0: $program is missing (build the native preset first)" >&2
    exit 2
  fi
done
if ! command -v valgrind >/dev/null; then
  echo "$0: valgrind is not installed (scripts/install-deps.sh installs it)" >&2
  exit 2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r sim/sample "$work/root"
mkdir -p "$work/files"
head -c 3000 /dev/urandom > "$work/files/my part.nc"
head -c 1024 /dev/urandom > "$work/files/block.nc"
head -c 70000 /dev/urandom > "$work/files/big.nc"
start=$(date +%s)

# Each run: its own log; valgrind's exit code 99 marks an error or a leak.
VANTORIX_SIM="$sim" scripts/with-sim.sh "$work/com1" --root "$work/root" -- \
  bash -s "$vtx" "$work" <<'RUNS'
vtx=$1
work=$2
port=$VANTORIX_SIM_PTY
failures=0
run() {   # NAME ARGS...
  local name=$1
  shift
  timeout 60 valgrind --quiet --leak-check=full --show-leak-kinds=definite,indirect,possible \
    --errors-for-leak-kinds=definite,indirect,possible --error-exitcode=99 \
    --log-file="$work/$name.valgrind" "$vtx" --port "$port" "$@" > "$work/$name.out" 2> "$work/$name.err"
  local status=$?
  # valgrind notes the terminal's exclusive-use ioctls it has no model for;
  # they move no memory, so only the exit code judges the run.
  if [ "$status" -eq 0 ]; then
    printf 'clean  %-8s vtx %s\n' "$name" "$*"
  else
    printf 'FAILED %-8s vtx %s (exit %s)\n' "$name" "$*" "$status"
    grep -v -e 'unhandled ioctl 0x540[cd]' -e 'spurious value errors' -e 'README_MISSING_SYSCALL' \
      "$work/$name.valgrind" | head -n 60
    head -n 20 "$work/$name.err"
    failures=$((failures + 1))
  fi
}
run ls ls
run json ls --json
run put put -p /ram/cncprg/ "$work/files/my part.nc" "$work/files/block.nc" "$work/files/big.nc"
# The files must have arrived whole, or the run proved nothing.
for pair in "my part.nc:my_part.nc" "block.nc:block.nc" "big.nc:big.nc"; do
  if ! cmp -s "$work/files/${pair%%:*}" "$work/root/ram/cncprg/${pair#*:}"; then
    echo "FAILED put: ${pair#*:} did not arrive whole"
    failures=$((failures + 1))
  fi
done
# The parameter list changes between the backups, so that the second one has a change to report.
printf '[sample]\nport = %s\n' "$port" > "$work/machines.ini"
export VTX_MACHINES=$work/machines.ini
run backup -m sample backup -o "$work/backups"
sed -i 's/= 10000/= 10500/' "$work/root/.params.txt"
run backup2 -m sample backup -o "$work/backups"
run diff diff --json "$work/backups/sample/"*
exit "$failures"
RUNS
status=$?
elapsed=$(( $(date +%s) - start ))
if [ "$status" -eq 0 ]; then
  echo "valgrind: no errors and no leaks in vtx ls, ls --json, put, backup and diff (${elapsed} s)"
else
  echo "valgrind: $status check(s) failed (${elapsed} s)"
fi
exit "$status"
