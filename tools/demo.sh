#!/usr/bin/env bash
# The main job on the bundled sample, as far as the system can run it today. Each step says what
# it shows; what cannot run yet is said plainly at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
out=$build/demo
mkdir -p "$out"

echo "demo: 1. compiling the sample job samples/fax_job.txt to a binary spool stream"
"$build/bin/spoolc" -o "$out/fax_job.spl" "$root/samples/fax_job.txt"
echo "demo:    $(stat -c %s "$out/fax_job.spl") bytes in $out/fax_job.spl; read back:"
"$build/bin/spoolc" --dump "$out/fax_job.spl" | sed 's/^/      /'

echo "demo: 2. coding a text page with Rastrel's JBIG encoder, as the fax module codes a page"
printf 'FAX DEMO PAGE\nRastrel codes this page with its own JBIG encoder.\njbigkit decodes it back.\n' \
  | pbmtext -builtin fixed | pamenlarge 4 | pnmpad -white -width 1728 -height 2292 > "$out/page.pbm"
"$build/bin/jbigenc" "$out/page.pbm" "$out/page.bie"
jbgtopbm "$out/page.bie" "$out/page_decoded.pbm"
if cmp -s <(pamtopnm < "$out/page.pbm") <(pamtopnm < "$out/page_decoded.pbm"); then
  echo "demo:    $(stat -c %s "$out/page.pbm") bytes of page coded to $(stat -c %s "$out/page.bie") bytes; jbigkit decodes it to the same pixels"
else
  echo "demo:    decoded page differs from the input" >&2
  exit 1
fi
pnmtopng "$out/page_decoded.pbm" > "$out/page.png"
echo "demo:    the decoded page is $out/page.png"

echo "demo: not yet: rendering the job's pages into bands and the fax job file (the sheet"
echo "demo: sequencing, display list and band loop are still to be built)."
