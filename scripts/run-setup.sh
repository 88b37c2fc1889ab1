#!/usr/bin/env bash
# Builds the host setup with the default payload and runs it in this terminal.
# Drive C: is your home directory unless SETUP_DRIVE_C says otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh host
cmake --preset host >/dev/null
cmake --build --preset host --target setup >/dev/null
exec build/host/setup
