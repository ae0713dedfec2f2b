# Installs the Debian packages that the named purposes need, when some are missing, and builds.
# Source it and call quorvane_need_packages build|test|run|fuzz, then quorvane_build DIR
# [TARGET...].

quorvane_packages_build="cmake ninja-build g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64"
# The fuzz targets build natively with clang and its libFuzzer and sanitizer runtimes.
quorvane_packages_fuzz="cmake ninja-build clang-14 libclang-rt-14-dev"
# Chromium checks the report; as a user other than root it needs its sandbox helper.
# jq reads the change set as a script would. openssl and osslsigncode sign the programs whose
# signatures windows_facts_test checks.
quorvane_packages_test="wine wine64 googletest chromium chromium-sandbox jq openssl osslsigncode $quorvane_packages_fuzz"
quorvane_packages_run="wine wine64 xvfb xauth x11-utils fonts-wine fonts-wqy-microhei imagemagick"

quorvane_need_packages() {
    local wanted="" missing="" p
    for purpose in "$@"; do
        eval "wanted=\"\$wanted \$quorvane_packages_$purpose\""
    done
    for p in $wanted; do
        case " $missing " in *" $p "*) continue ;; esac
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
    done
    [ -z "$missing" ] && return 0
    echo "Installing missing Debian packages:$missing"
    local sudo=""
    if [ "$(id -u)" != 0 ]; then
        if command -v sudo >/dev/null 2>&1; then sudo=sudo
        else
            echo "error: these Debian packages are missing and I am not root:$missing" >&2
            return 1
        fi
    fi
    # apt's own chatter goes to a log that is shown only when the install fails.
    local log
    log=$(mktemp)
    if $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq >"$log" 2>&1 &&
        $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
            $missing >>"$log" 2>&1; then
        rm -f "$log"
        return 0
    fi
    cat "$log" >&2
    rm -f "$log"
    echo "error: could not install:$missing" >&2
    return 1
}

# quorvane_build DIR [TARGET...]: configures the cross build in DIR once, then builds the
# targets (everything by default). Only warnings and errors reach the console. The compiler is
# MinGW-w64's GCC, or clang when QUORVANE_TOOLCHAIN names cmake/clang-mingw-w64-x86_64.cmake.
quorvane_build() {
    local build=$1
    shift
    local toolchain=${QUORVANE_TOOLCHAIN:-$PWD/cmake/mingw-w64-x86_64.cmake}
    if [ ! -f "$build/build.ninja" ]; then
        mkdir -p "$build"
        if ! cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
            -DCMAKE_DISABLE_FIND_PACKAGE_Python=ON -DCMAKE_DISABLE_FIND_PACKAGE_PythonInterp=ON \
            -DCMAKE_MESSAGE_LOG_LEVEL=WARNING \
            >"$build/configure.log" 2>&1; then
            cat "$build/configure.log" >&2
            # What a failed configure cached (a compiler check, flags) must not outlive it.
            rm -rf "$build/build.ninja" "$build/CMakeCache.txt" "$build/CMakeFiles"
            return 1
        fi
    fi
    local targets=()
    [ $# -gt 0 ] && targets=(--target "$@")
    echo "Building in $build"
    # GNU ld says so when clang's copy of a type's name differs in size from the C++ library's,
    # which GCC built: harmless, and said for every executable.
    cmake --build "$build" -j2 "${targets[@]}" -- --quiet |
        { grep -vE '^(ninja: no work to do|-- (Configuring|Generating) done|-- Build files have been)|duplicate section .* has different size$' || true; }
    return "${PIPESTATUS[0]}"
}
