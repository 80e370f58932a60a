#!/usr/bin/env bash
# Makes the release: builds the 32-bit Windows program and its automation servers, and writes
#   dist/Ombrevale-<version>-win32.zip   the portable program, nothing to install
#   dist/Ombrevale-<version>-setup.exe   the installer (NSIS, Russian, per user or per machine)
#   dist/SHA256SUMS                      their checksums (sha256sum -c SHA256SUMS)
# The version is the project's (CMakeLists.txt). The same commit gives the same bytes
# wherever and whenever it is made with the same tools (scripts/check-reproducible.sh
# checks it): the times that the packages store are SOURCE_DATE_EPOCH, or without it the
# time of the commit. The release tests (ctest -L release, in scripts/test.sh) make the
# same packages in the build tree and install them under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
if [ -n "$(git status --porcelain --untracked-files=no 2>/dev/null)" ]; then
  echo "release.sh: the source has changes that are not committed: the release will not be" \
       "the one that its commit gives" >&2
fi
cmake --preset windows -DOMBREVALE_WERROR=ON >/dev/null
cmake --build --preset release -j 2
(cd dist && sha256sum -c SHA256SUMS)
# Another build gives these bytes with these tools.
echo "Made with:"
dpkg-query -W -f '  ${Package} ${Version}\n' g++-mingw-w64-i686-win32 binutils-mingw-w64-i686 \
  mingw-w64-i686-dev mingw-w64-tools nsis cmake
echo "  zlib $(python3 -c 'import zlib; print(zlib.ZLIB_RUNTIME_VERSION)') (the zip's compression, through python3)"
