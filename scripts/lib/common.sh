# Shared by the scripts: where the project is, and installing what a fresh machine lacks.
# shellcheck shell=bash

PROJECT_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# The Debian packages the build and the tests need.
BUILD_PACKAGES=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev clang-format
                qt6-base-dev qt6-translations-l10n libgl-dev libxcb1-dev fonts-dejavu-core ccache
                nlohmann-json3-dev help2man dpkg-dev file libpq-dev postgresql)

# Installs the named Debian packages that are missing (as root, with apt-get).
ensure_packages() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "installing: ${missing[*]}" >&2
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}

# Paths below the checkout hash alike in every clone, so the compiler cache serves them all;
# the build folder, which debug information would otherwise add to the hash, too.
share_compiler_cache() {
    export CCACHE_BASEDIR="$PROJECT_ROOT" CCACHE_NOHASHDIR=1
}

# Configures and builds the project in build/NAME with the given CMake options.
build_project() {
    local name="$1"
    share_compiler_cache
    shift
    cmake -S "$PROJECT_ROOT" -B "$PROJECT_ROOT/build/$name" -G Ninja "$@" >/dev/null
    cmake --build "$PROJECT_ROOT/build/$name" -j "$(nproc)"
}
