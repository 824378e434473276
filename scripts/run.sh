#!/usr/bin/env bash
# Installs what the build needs, builds, and starts the desktop program.
# Arguments are passed to the program. With no display, use the headless program:
#   build/src/cli/qingtong-cli --help
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
if [ -x build/src/gui/qingtong ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  exec build/src/gui/qingtong "$@"
fi
echo "No display found: starting the headless program instead." >&2
exec build/src/cli/qingtong-cli "${@:---help}"
