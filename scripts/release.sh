#!/usr/bin/env bash
# Makes the release: builds the 32-bit Windows program and its demo server, and writes
#   dist/Ombrevale-<version>-win32.zip   the portable program, nothing to install
#   dist/Ombrevale-<version>-setup.exe   the installer (NSIS, Russian, per user or per machine)
#   dist/SHA256SUMS                      their checksums (sha256sum -c SHA256SUMS)
# The version is the project's (CMakeLists.txt). The release tests (ctest -L release, in
# scripts/test.sh) make the same packages in the build tree and install them under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset windows -DOMBREVALE_WERROR=ON >/dev/null
cmake --build --preset windows -j 2
cmake --build --preset release
(cd dist && sha256sum -c SHA256SUMS)
