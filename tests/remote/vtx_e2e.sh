#!/usr/bin/env bash
# vtx against the simulated controller: ls as text and JSON, params, tools,
# rm, and put checked before and after, with the exit codes of a good run (0),
# a failure (1) and a usage error (2). The controller's trace tells which
# commands reached it.
#   vtx_e2e.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/root/ram/cncprg" "$work/root/ROM"
head -c 1234 /dev/zero > "$work/root/ram/cncprg/part1.nc"
head -c 5678 /dev/zero > "$work/root/ram/cncprg/part b.nc"
head -c 99 /dev/zero > "$work/root/ram/$(printf 'n\xe4me "q".txt')"
printf 'X=1\n' > "$work/params"
: > "$work/tools"
: > "$work/control"
mkdir -p "$work/pc/sub"
for file in good.nc:300 "my part.nc:700" f600.nc:600 empty.nc:0; do
  head -c "${file##*:}" /dev/urandom > "$work/pc/${file%%:*}"
done

VANTORIX_SIM="$2/vantorix-sim" "$1/scripts/with-sim.sh" "$work/link" --root "$work/root" --control "$work/control" \
  --params "$work/params" --tools "$work/tools" --flash-size 1000 --verbose -- bash -s "$2/vtx" "$work" \
  2>> "$work/trace" <<'CHECKS'
exec 2>&1   # the controller's trace alone goes to the trace file
vtx=$1
work=$2
port=$VANTORIX_SIM_PTY
failures=0
check() {   # NAME EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then
    echo "FAIL $1: expected [$2], got [$3]"
    failures=$((failures + 1))
  else
    echo "ok   $1"
  fi
}
exists() { for f in "$@"; do [ -e "$work/root/$f" ] && printf y || printf n; done; }
sent() {   # the command letters that reached the controller since the last call
  grep -o 'command "[a-z]' "$work/trace" | cut -c10 | paste -sd ' '
  : > "$work/trace"
}
row() {   # NAME EXPECTED COMMAND...: status|vtx's complaints;stdout|what was sent
  local name=$1 expected=$2
  shift 2
  sent > /dev/null
  "$@" > "$work/out" 2> "$work/err"
  local status=$?
  : > "$work/control"
  check "$name" "$expected" "$status|$( (grep -E "^(vtx:|Can't)" "$work/err"; cat "$work/out") | paste -sd ';')|$(sent)"
}

out=$("$vtx" --port "$port" ls 2> "$work/err")
check "ls status" "0 " "$? $(cat "$work/err")"
check "ls text" '/
  ROM/
  ram/
    cncprg/
      part b.nc  (5678 bytes)
      part1.nc  (1234 bytes)
    n\xe4me "q".txt  (99 bytes)
RAM disk free:
Flash disk free:' "$(printf '%s\n' "$out" | sed 's/free: [0-9]* bytes$/free:/')"
json=$("$vtx" --port="$port" --baud 115200 ls --json)
check "ls json" '"root":{"name":"/","type":"dir","children":[{"name":"ROM","type":"dir","children":[]},{"name":"ram","type":"dir","children":[{"name":"cncprg","type":"dir","children":[{"name":"part b.nc","type":"file","size":5678},{"name":"part1.nc","type":"file","size":1234}]},{"name":"n\u00e4me \"q\".txt","type":"file","size":99}]}]}}' "${json#*,\"flashDiskFree\":*,}"
for fault in "listing-silent:No answer from Vantorix. Please check if it is connected." \
             "listing-invalid:The Vantorix-answer was not correct. Please try to update again."; do
  echo "${fault%%:*}" > "$work/control"
  "$vtx" --port "$port" --attempts 1 ls --json > "$work/out" 2>&1
  check "ls ${fault%%:*}" "1 ${fault#*:}" "$? $(cat "$work/out")"
done
: > "$work/control"

check "params content" "X=1\r\n\r\n" "$("$vtx" --port "$port" params | od -An -c | tr -s ' ' | sed 's/^ //;s/ //g')"
"$vtx" --port "$port" params -o "$work/p.txt"
check "params to file" "7" "$(stat -c %s "$work/p.txt")"
printf 'old' > "$work/t.txt"
"$vtx" --port "$port" tools -o "$work/t.txt" 2> "$work/err"
check "no tool list" "1 The Vantorix sent no tool list. old" "$? $(cat "$work/err") $(cat "$work/t.txt")"
printf 'X' > "$work/tools"
"$vtx" --port "$port" tools -o "$work/t.txt"
check "four-byte tool list" "X" "$(cat "$work/t.txt")"

"$vtx" --port "$port" rm "/ram/$(printf 'n\xe4me "q".txt')" "/ram/cncprg/part b.nc"
check "rm" "0 nny" "$? $(exists "ram/$(printf 'n\xe4me "q".txt')" "ram/cncprg/part b.nc" ram/cncprg/part1.nc)"
"$vtx" --port "$port" rm /ram/cncprg/part1.nc "/ram/$(head -c 600 /dev/zero | tr '\0' a)" 2> /dev/null
check "too long path refused before sending" "2 y" "$? $(exists ram/cncprg/part1.nc)"
"$vtx" --port "$port" rm /ram/cncprg/ 2> /dev/null
check "directory refused" "2" "$?"
"$vtx" --port "$port" rm "$(printf '/ram/a\rl')" 2> /dev/null
check "control character refused" "2" "$?"


cd "$work/pc" || exit 1
vput() { "$vtx" --port "$port" put "$@"; }
vrm() { "$vtx" --port "$port" rm "$@"; }
row "put checks every file before the port" "1|vtx: absent.nc: No such file or directory|" vput good.nc absent.nc
row "put refuses an empty file" "1|vtx: empty.nc: empty file (the controller takes none)|" vput empty.nc
row "put refuses a folder" "1|vtx: sub: Is a directory|" vput sub
row "put refuses a wildcard" "1|vtx: g*.nc: a wildcard; name each file|" vput 'g*.nc'
row "put into a missing directory" "1|vtx: /ram/nodir/: no such directory on the controller|l" vput -p /ram/nodir/ good.nc
row "put budget by the sender's rule" \
  "1|vtx: f600.nc: Upload-Error: Not enough space. (600 bytes, 400 free on the flash disk)|l" vput -p /ROM/ f600.nc f600.nc
row "put dry run" "0|good.nc -> /ram/cncprg/good.nc (300 bytes);my part.nc -> /ram/cncprg/my_part.nc (700 bytes);\
free after the batch: RAM disk 1046342 bytes, flash disk 1000 bytes|l" vput -n good.nc "my part.nc"
row "put verified" "0||l u l" vput good.nc "my part.nc"
echo store-short:5 > "$work/control"
row "put stored short" "1|vtx: good.nc: listed as /ram/cncprg/good.nc with 295 bytes, not 300|l u l" vput good.nc
row "put without verify" "0||l u" vput --no-verify -p /ram/cncprg/ good.nc
row "rm checks every path first" "1|vtx: /ram/cncprg/nothere.nc: no such file on the controller|l" \
  vrm /ram/cncprg/good.nc /ram/cncprg/nothere.nc
row "rm dry run" "0|d /ram/cncprg/good.nc;d my_part.nc|l" vrm -n /ram/cncprg/good.nc my_part.nc
row "rm verified" "0||l d d l" vrm /ram/cncprg/good.nc my_part.nc
echo silent:d > "$work/control"
row "rm of a file that stays" "1|vtx: /ram/cncprg/part1.nc: still on the controller after the delete|l d l" \
  vrm /ram/cncprg/part1.nc
row "unsupported speed" "2|vtx: the serial driver takes no speed of 12345 bit/s: nearest are 9600 and 19200|" \
  "$vtx" --port "$port" --baud 12345 ls
row "no such device" "1|Can't open Serial Port. (/nonexistent/tty: No such file or directory)|" \
  "$vtx" --port /nonexistent/tty params
row "not a terminal" "1|Can't open Serial Port. (good.nc: not a terminal)|" "$vtx" --port good.nc ls
row "locked by another program" "1|Can't open Serial Port. ($port: busy: another program has it open and locked)|" \
  flock "$port" "$vtx" --port "$port" ls
nobody() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
# Only root can try the terminal as another user, where that user can run vtx.
if [ "$(id -u)" = 0 ] && nobody "$vtx" --help > /dev/null 2>&1; then
  group=$(stat -c %G "$port")
  [ "$group" = root ] && group=dialout
  row "permission denied" "1|Can't open Serial Port. ($port: Permission denied);vtx: you may need to be in the group \
$group: sudo usermod -aG $group \$USER, then log in again|" nobody "$vtx" --port "$port" ls
fi
row "default device" "1|Can't open Serial Port. (/dev/ttyUSB0: No such file or directory);vtx: /dev/ttyUSB0 is \
only the default, as neither --port nor \$VTX_PORT names a device; 'vtx ports' lists the serial devices (or see \
/dev/serial/by-id/)|" env -u VTX_PORT "$vtx" ls

for args in "" "frobnicate" "--port" "--baud fast ls" "--baud 0 ls" "--attempts 0 ls" "--attempts -1 ls" \
            "--colour ls" "ls --xml" "ls extra"; do
  # shellcheck disable=SC2086
  "$vtx" $args > "$work/out" 2> "$work/err"
  check "usage error: $args" "2 y" "$? $(grep -q "usage: vtx" "$work/err" && [ ! -s "$work/out" ] && echo y)"
done
"$vtx" ls --help > "$work/out"
check "help on stdout" "0 y" "$? $(grep -q -- --json "$work/out" && echo y)"
# ports: a fake /dev and /sys with a USB adapter (by-id link, device, ids,
# driver), a ttyS with a UART, a ttyS without one and a tty that is no port.
r=$work/sysroot
usb=$r/sys/devices/usb1/1-1
mkdir -p "$r/dev/serial/by-id" "$usb/1-1:1.0/ttyUSB0" "$r/sys/devices/pnp0/00:05" "$r/sys/class/tty/"{ttyUSB0,ttyS0,ttyS1}
touch "$r/dev/"{ttyUSB0,ttyS0,ttyS1,tty5}
printf '0403\n' > "$usb/idVendor"; printf '6001\n' > "$usb/idProduct"; printf 'FTDI\n' > "$usb/manufacturer"
printf 'FT232R UART\n' > "$usb/product"; printf 'A5\n' > "$usb/serial"
ln -s ../../../../../bus/usb-serial/drivers/ftdi_sio "$usb/1-1:1.0/ttyUSB0/driver"
ln -s ../../../devices/usb1/1-1/1-1:1.0/ttyUSB0 "$r/sys/class/tty/ttyUSB0/device"
ln -s ../../../devices/pnp0/00:05 "$r/sys/class/tty/ttyS0/device"
ln -s ../../../../bus/pnp/drivers/serial "$r/sys/devices/pnp0/00:05/driver"
echo 4 > "$r/sys/class/tty/ttyS0/type"; echo 0 > "$r/sys/class/tty/ttyS1/type"
ln -s ../../ttyUSB0 "$r/dev/serial/by-id/usb-FTDI_FT232R_UART_A5-if00-port0"
check "ports" "/dev/serial/by-id/usb-FTDI_FT232R_UART_A5-if00-port0 -> /dev/ttyUSB0  usb 0403:6001  FTDI FT232R UART  serial A5  driver ftdi_sio
/dev/ttyS0  driver serial
/dev/ttyUSB0  usb 0403:6001  FTDI FT232R UART  serial A5  driver ftdi_sio" "$(VTX_SYSROOT=$r "$vtx" ports)"
check "ports json" '{"port":"/dev/ttyS0","device":"/dev/ttyS0","vendorId":null,"productId":null,"manufacturer":null,"product":null,"serial":null,"driver":"serial"}' \
  "$(VTX_SYSROOT=$r "$vtx" ports --json | grep -o '{"port":"/dev/ttyS0"[^}]*}')"
mkdir "$work/empty"
out=$(VTX_SYSROOT=$work/empty "$vtx" ports --json)
check "no ports" '0 {"ports":[]}' "$? $out"
[ "$failures" -eq 0 ]
CHECKS
status=$?

# A filled controller on a 57600 bit/s line: its listing takes several read times.
mkdir -p "$work/full/ram/cncprg" "$work/full/ROM"
for i in $(seq 600); do : > "$work/full/ram/cncprg/program_number_$i.nc"; done
VANTORIX_SIM="$2/vantorix-sim" "$1/scripts/with-sim.sh" "$work/link-full" --root "$work/full" --baud 57600 -- \
  bash -c '"$1" --port "$VANTORIX_SIM_PTY" ls' _ "$2/vtx" > "$work/full.txt"
listed="$? $(grep -c '^      program_number_.*(0 bytes)$' "$work/full.txt") $(grep -c '^Flash disk free: [1-9]' "$work/full.txt")"
[ "$listed" = "0 600 1" ] && echo "ok   filled controller" || { echo "FAIL filled controller: got [$listed]"; status=1; }
exit "$status"
