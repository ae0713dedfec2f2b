# Installs the Debian packages that the named purposes need, when some are missing. Source it
# and call quorvane_need_packages build|test|run.

quorvane_packages_build="cmake ninja-build g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64"
quorvane_packages_test="wine wine64 googletest"
quorvane_packages_run="wine wine64 xvfb xauth x11-utils fonts-wqy-microhei imagemagick"

quorvane_need_packages() {
    local wanted="" missing="" p
    for purpose in "$@"; do
        eval "wanted=\"\$wanted \$quorvane_packages_$purpose\""
    done
    for p in $wanted; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
    done
    [ -z "$missing" ] && return 0
    echo "Installing missing packages:$missing"
    local sudo=""
    if [ "$(id -u)" != 0 ]; then
        if command -v sudo >/dev/null 2>&1; then sudo=sudo
        else
            echo "error: these Debian packages are missing and I am not root:$missing" >&2
            return 1
        fi
    fi
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
        $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
}
