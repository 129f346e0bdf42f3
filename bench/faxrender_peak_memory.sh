#!/usr/bin/env bash
# Peak memory of faxrender on a 200 MB spool stream, in every feed mode, beside its anchor: the
# peak of the same tool on a spool of a few kilobytes (the engine's budgets and the libraries).
# The difference is what the stream itself costs; the host streams it, so it must stay well
# under 64 MB whatever the spool's size.
#   bench/faxrender_peak_memory.sh [build folder with bin/ (default: build/release)] [MB (default 200)]
# A sanitizer build works too, but its allocator inflates every figure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
megabytes=${2:-200}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The job header, then the bulk as 1 MB records of a type every reader skips, then the job's end:
# every byte passes through the host's feed and the engine's stream.
{
  printf 'signature\nstream_version version=2\n'
  printf 'job_header job_flags=0x1 copies=1 res_x=204 res_y=196 extent1_w=1728 extent1_h=2292 extent2_w=1728 extent2_h=2292\n'
} > "$work/head.txt"
"$build/bin/spoolc" -o "$work/big.spl" "$work/head.txt"
{ cat "$work/head.txt"; printf 'job_end v=0\n'; } > "$work/small.txt"
"$build/bin/spoolc" -o "$work/small.spl" "$work/small.txt"
python3 - "$work/big.spl" "$megabytes" <<'PY'
import struct, sys
path, mb = sys.argv[1], int(sys.argv[2])
record = struct.pack('<HHI', 64, 0, 1 << 20) + bytes((1 << 20) - 8)
with open(path, 'ab') as f:
    for _ in range(mb):
        f.write(record)
    f.write(struct.pack('<HHI', 2, 0, 8))  # the job's end
PY

peak() {  # peak resident set in kB of one faxrender run
  /usr/bin/time -f %M -o "$work/peak" "$build/bin/faxrender" -q -n 1 -o "$work/out.fax" "$@" >/dev/null 2>"$work/err" ||
    { cat "$work/err" >&2; exit 1; }
  cat "$work/peak"
}
printf '%-14s %12s %12s %12s\n' feed "anchor kB" "${megabytes} MB kB" "stream kB"
for feed in seekable --forward-only --producer; do
  args=(); [ "$feed" = seekable ] || args=("$feed")
  anchor=$(peak "${args[@]}" "$work/small.spl")
  big=$(peak "${args[@]}" "$work/big.spl")
  printf '%-14s %12s %12s %12s\n' "$feed" "$anchor" "$big" "$(( big - anchor ))"
  if [ $(( big - anchor )) -gt $(( 64 * 1024 )) ]; then
    echo "faxrender_peak_memory: the $feed feed holds more than 64 MB of the stream" >&2
    exit 1
  fi
done
