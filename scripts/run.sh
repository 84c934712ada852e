#!/usr/bin/env bash
# Installs what is needed, builds Tessavo (Release) and launches it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSAVO_BUILD_TESTS=OFF
cmake --build build --parallel "$(nproc)"
exec ./build/src/app/tessavo
