# Installs the Debian packages the project needs, only those that are missing.
# Sourced by scripts/test and scripts/run.

ZR40_PACKAGES=(
    cmake g++ ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libusb-1.0-0-dev libcups2-dev cups libsdl2-dev
    libgtest-dev libgmock-dev
    umockdev libumockdev-dev
    fonts-liberation2 fonts-ipafont-gothic
    qt6-translations-l10n
    desktop-file-utils dpkg-dev file
    xvfb xauth
    dbus-daemon
    clang-14 libclang-rt-14-dev
)

zr40_install_missing() {
    local missing=()
    local pkg
    for pkg in "${ZR40_PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q '^install ok installed$'; then
            missing+=("$pkg")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    echo "Installing: ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages (${missing[*]}); run as root or install them first." >&2
        return 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# zr40_build DIR [cmake options...]
zr40_build() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZR40_WERROR=ON "$@"
    cmake --build "$dir" -j "$(nproc)"
}

# zr40_build_fuzz DIR: the fuzz targets, built by clang on the layer libraries they exercise.
zr40_build_fuzz() {
    local dir=$1
    shift
    CXX=clang++-14 cmake -S fuzz -B "$dir" -G Ninja "$@"
    cmake --build "$dir" -j "$(nproc)"
}
