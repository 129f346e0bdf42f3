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

echo "demo: 3. rendering a fax job without pages (samples/fax_job_nopages.txt) through Rastrel and"
echo "demo:    the fax module with faxrender, which puts the host's fax block into the job header"
"$build/bin/spoolc" -o "$out/fax_job_nopages.spl" "$root/samples/fax_job_nopages.txt"
"$build/bin/faxrender" -q -n "+1 555 0100" -n "0800 42" -r 204x196 -o "$out/fax_job_nopages.fax" "$out/fax_job_nopages.spl"
echo "demo:    $(stat -c %s "$out/fax_job_nopages.fax") bytes in $out/fax_job_nopages.fax; faxview reads it back:"
"$build/bin/faxview" "$out/fax_job_nopages.fax" | sed 's/^/      /'
for feed in --forward-only --producer; do
  "$build/bin/faxrender" -q $feed -n "+1 555 0100" -n "0800 42" -r 204x196 -o "$out/fax_job_nopages$feed.fax" "$out/fax_job_nopages.spl"
  if cmp -s "$out/fax_job_nopages.fax" "$out/fax_job_nopages$feed.fax"; then
    echo "demo:    faxrender $feed writes the same bytes"
  else
    echo "demo:    faxrender $feed writes different bytes" >&2
    exit 1
  fi
done

echo "demo: 4. rendering every sample job (samples/*_job.txt: rectangles; vector drawing, images and text"
echo "demo:    on a letterhead form; four-up; a booklet; pages scaled and fitted; a landscape letter turned onto"
echo "demo:    the portrait fax page, not stretched) to fax jobs; faxview decodes their pages to PNG"
for text in "$root"/samples/*_job.txt; do
  name=$(basename "$text" .txt)
  "$build/bin/spoolc" -o "$out/$name.spl" "$text"
  "$build/bin/faxrender" -q -n "+1 555 0100" -o "$out/$name.fax" "$out/$name.spl"
  echo "demo:    $name: $(stat -c %s "$out/$name.spl") spool bytes to $(stat -c %s "$out/$name.fax") fax bytes; pages:"
  "$build/bin/faxview" -o "$out/$name" "$out/$name.fax" | grep -- '->' | sed 's/^/      /'
done

echo "demo: 5. the fax sending sheet: coversetup stores an address book (7 contacts, 2 groups) and a"
echo "demo:    cover page with a picture; faxsheet plays the driver, calls Velmora's GetReciverInfo under"
echo "demo:    a virtual display (Xvfb) and, with --fill, the user: it adds two contacts and a group,"
echo "demo:    types one receiver, writes a screenshot of each page and presses OK; then it prints what"
echo "demo:    the sheet saved"
rm -rf "$out/sheet" && mkdir -p "$out/sheet/registry" "$out/sheet/tmp"
rm -f "$out"/sheet-page*.png
ppmmake rgb:20/60/c0 120 60 | ppmtobmp > "$out/sheet/logo.bmp" 2>/dev/null
FAXDRIVER_REGISTRY="$out/sheet/registry" TMPDIR="$out/sheet/tmp" \
  "$build/bin/coversetup" --address-book --picture "$(realpath "$out/sheet/logo.bmp")" --printer "Fax printer" | sed 's/^/      /'
if command -v xvfb-run >/dev/null 2>&1; then
  FAXDRIVER_REGISTRY="$out/sheet/registry" TMPDIR="$out/sheet/tmp" FAXDRIVER_UI_SNAPSHOT="$out" ASAN_OPTIONS=detect_leaks=0 \
    xvfb-run -a -s "-screen 0 1024x768x24" "$build/bin/faxsheet" --fill "Fax printer" 2>/dev/null | sed 's/^/      /'
  for png in "$out"/sheet-page*.png; do
    echo "demo:    screenshot $png"
  done
else
  echo "demo:    not shown: xvfb-run is missing (./build.sh installs xvfb)"
fi

# Coverprint prints what the sheet saved when the sheet ran; without a display it prints a
# sample that coversetup stores in the sheet's place.
if [ -s "$out/sheet-page1.png" ]; then
  echo "demo: 6. the cover page: velmoracp (Coverprint under the name that gives Velmora's prefix)"
  echo "demo:    prints what the sending sheet saved in step 5 at 392 pixels per inch"
  cover_registry="$out/sheet/registry" cover_tmp="$out/sheet/tmp"
else
  echo "demo: 6. the cover page: coversetup installs a fax printer and stores what the sending sheet"
  echo "demo:    saves for a sample address book of three receivers; velmoracp (Coverprint under the"
  echo "demo:    name that gives Velmora's prefix) prints it at 392 pixels per inch"
  rm -rf "$out/cover" && mkdir -p "$out/cover/registry" "$out/cover/tmp"
  ppmmake rgb:20/60/c0 120 60 | ppmtobmp > "$out/cover/logo.bmp" 2>/dev/null
  FAXDRIVER_REGISTRY="$out/cover/registry" TMPDIR="$out/cover/tmp" \
    "$build/bin/coversetup" --picture "$out/cover/logo.bmp" | sed 's/^/      /'
  cover_registry="$out/cover/registry" cover_tmp="$out/cover/tmp"
fi
FAXDRIVER_REGISTRY="$cover_registry" TMPDIR="$cover_tmp" ASAN_OPTIONS=detect_leaks=0 "$build/bin/velmoracp"
cp "$cover_tmp/VELMORAFAXCP.WM" "$out/cover_page.png"
echo "demo:    the cover page is $out/cover_page.png"
