#!/usr/bin/env bash
# Replaces the tables between the race markers of README.md with the race lines of a benchmark
# run ("race program/name anchor median p25..p75 [note]"). Races whose anchor is our own loop (a
# reference written in the bench, or our code before a change) go in a table of their own: they
# say what a change bought, not how we stand against other software.
#   bench/readme_table.sh RUN_OUTPUT README.md
set -euo pipefail
results=$1
readme=$2
table=$(mktemp)
# Anchors that are our own code.
own="plain_loops floyd-steinberg-loop tiled-threshold-loop flat-array unclipped_outline unoptimised unmasked every_pair pattern32 overhead+budgets one_call_per_character plain_24bit_rows"
rows() {  # rows of the races whose anchor is (own=1) or is not (own=0) our own code
  awk -v want="$1" -v own="$own" '
    BEGIN { n = split(own, list, " "); for (i = 1; i <= n; ++i) mine[list[i]] = 1 }
    $1 == "race" && ((($3 in mine) ? 1 : 0) == want) {
      note = ""
      if ($4 == "FAILED") { for (i = 5; i <= NF; ++i) note = note " " $i; printf "| %s | %s | FAILED:%s | |\n", $2, $3, note }
      else { for (i = 6; i <= NF; ++i) note = note " " $i; printf "| %s | %s | %s | %s%s |\n", $2, $3, $4, $5, note }
    }' "$results"
}
{
  echo "Against other software (pixman, Little CMS, jbigkit, Ghostscript) and the machine's limits"
  echo "(memcpy, memset):"
  echo
  echo "| Race | Anchor | Anchor time / our time | p25..p75 |"
  echo "|---|---|---|---|"
  rows 0
  echo
  echo "Against our own loops: a plain reference written in the bench, or our code before a change"
  echo "(not competitors; the ratio is what the change bought):"
  echo
  echo "| Race | Anchor | Anchor time / our time | p25..p75 |"
  echo "|---|---|---|---|"
  rows 1
  echo
  echo "Last run: $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores, one core pinned."
} >"$table"
awk -v table="$table" '
  /<!-- races -->/ { print; while ((getline line < table) > 0) print line; skip = 1; next }
  /<!-- \/races -->/ { skip = 0 }
  !skip { print }
' "$readme" >"$readme.new"
mv "$readme.new" "$readme"
rm -f "$table"
