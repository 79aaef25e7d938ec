#!/usr/bin/env bash
# Installs the Debian packages Dualyn needs (when missing), configures and builds the project, then
# starts the program (`./build.sh run`) or runs every test (`./build.sh test`).
set -euo pipefail
cd "$(dirname "$0")"

# xdg-utils opens the log in the desktop's text viewer; qt6-wayland lets the window run on Wayland;
# nlohmann-json3-dev writes the JSON report, and python3-jsonschema checks it in the tests.
# libssl-dev: OpenSSL decrypts Access files encrypted with a password.
# librsvg2-bin draws the icon's PNG sizes; dpkg-dev and file let cpack find the libraries' packages
# for the Debian package, which lintian, desktop-file-utils and appstream check.
packages=(cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev mdbtools mdbtools-dev libglib2.0-dev
          libicu-dev googletest libgtest-dev xdg-utils qt6-wayland clang libclang-rt-14-dev
          nlohmann-json3-dev python3-jsonschema libssl-dev
          librsvg2-bin dpkg-dev file lintian desktop-file-utils appstream)

install_missing() {
    local missing=() p
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing Debian packages: ${missing[*]}"
    "${sudo[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
}

build() {
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build build
}

case "${1:-}" in
    run)
        install_missing
        build
        exec build/app/dualyn
        ;;
    test)
        install_missing
        build
        (cd build && ctest --output-on-failure --timeout 600 -j "$(nproc)")
        # The fuzz targets (clang, libFuzzer), each for a short repeatable run.
        CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDUALYN_FUZZERS=ON \
            -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined"
        cmake --build build-fuzz
        tests/fuzz/run.sh build-fuzz
        # Every test once more with AddressSanitizer and UndefinedBehaviorSanitizer, in a second
        # build folder; any finding fails the run.
        cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug \
            -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
        cmake --build build-sanitize
        cd build-sanitize
        ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
            LSAN_OPTIONS="suppressions=$PWD/../tests/sanitizer-suppressions.txt" \
            exec ctest --output-on-failure --timeout 900 -j "$(nproc)"
        ;;
    *)
        echo "usage: $0 run|test" >&2
        exit 64
        ;;
esac
