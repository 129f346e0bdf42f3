#!/usr/bin/env bash
# Replaces the table between the race markers of README.md with the race lines of a benchmark
# run ("race program/name anchor median p25..p75 [note]").
#   bench/readme_table.sh RUN_OUTPUT README.md
set -euo pipefail
results=$1
readme=$2
table=$(mktemp)
{
  echo "| Race | Anchor | Anchor time / our time | p25..p75 |"
  echo "|---|---|---|---|"
  awk '$1 == "race" {
    if ($4 == "FAILED") { note = ""; for (i = 5; i <= NF; ++i) note = note " " $i; printf "| %s | %s | FAILED:%s | |\n", $2, $3, note }
    else printf "| %s | %s | %s | %s |\n", $2, $3, $4, $5
  }' "$results"
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
