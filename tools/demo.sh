#!/usr/bin/env bash
# The main job on the bundled sample, as far as the system can run it today.
set -euo pipefail
build=${1:-build}
echo "demo: the render pipeline cannot render pages yet; nothing beyond the build runs."
echo "demo: built libraries:"
ls "$build"/lib/*.so 2>/dev/null | sed 's/^/  /'
