#!/usr/bin/env bash
# Builds the Debian package, and only what it holds (the program and the Access converter), into
# build-package/package/. Run as root on Debian 12.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh --package
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZUK_WERROR=ON -DBUILD_TESTING=OFF \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build build-package -j"$(nproc)" --target actualizapvp import_mdb zuk_package_docs
(cd build-package && cpack -G DEB -B package)
ls build-package/package/*.deb
