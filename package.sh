#!/usr/bin/env bash
# Builds the Debian package zorvideo_<version>_<arch>.deb: a Release build for /usr with Debian's
# hardening flags (dpkg-buildflags), then CPack (shlibdeps for the Depends). Prints the package's
# path last. Usage: ./package.sh   (the build goes to build/package, or $ZORVIDEO_PACKAGE_BUILD_DIR)
set -euo pipefail
cd "$(dirname "$0")"

tools/bootstrap
build=${ZORVIDEO_PACKAGE_BUILD_DIR:-build/package}
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
eval "$(dpkg-buildflags --export=sh)"
# CMake reads no CPPFLAGS (_FORTIFY_SOURCE is there); only the libraries a program calls become
# dependencies.
export CFLAGS="$CPPFLAGS $CFLAGS" CXXFLAGS="$CPPFLAGS $CXXFLAGS" LDFLAGS="$LDFLAGS -Wl,--as-needed"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DZORVIDEO_BUILD_TESTS=OFF -DZORVIDEO_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"
(cd "$build" && rm -f zorvideo_*.deb && cpack -G DEB >/dev/null)
ls "$PWD/$build"/zorvideo_*.deb
