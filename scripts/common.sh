# Shared by scripts/run, scripts/test and scripts/package: Debian packages and the build.
# shellcheck shell=bash

REPO_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# dpkg-dev: dpkg-shlibdeps, which names the libraries the Debian package depends on.
# nlohmann-json3-dev and libcli11-dev: the command line's JSON and argument parsing.
# nettle-dev (with pkg-config to find it): the SHA-256 of the files the journal of writes names.
# ansible-core: ansible-playbook and ansible-doc, which run the collection's playbook test.
PACKAGES=(cmake ninja-build g++ qt6-base-dev libgtest-dev libgmock-dev fonts-liberation xvfb xauth
    dpkg-dev nlohmann-json3-dev libcli11-dev nettle-dev pkg-config ansible-core)

# Installs the packages that are missing (apt-get update once, then install), as root.
ensure_packages() {
    local missing=()
    local p
    for p in "${PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$p")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
}

# configure_and_build DIR [cmake options...] -- [targets...]
configure_and_build() {
    local dir="$1"
    shift
    local options=()
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do
        options+=("$1")
        shift
    done
    [ "${1:-}" = "--" ] && shift
    cmake -S "$REPO_DIR" -B "$dir" -G Ninja "${options[@]}" >/dev/null
    if [ $# -gt 0 ]; then
        local targets=()
        local t
        for t in "$@"; do targets+=(--target "$t"); done
        cmake --build "$dir" -j2 "${targets[@]}"
    else
        cmake --build "$dir" -j2
    fi
}
