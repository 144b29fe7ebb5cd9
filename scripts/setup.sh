# Shared set-up of run.sh and test.sh: installs the Debian packages the build
# needs when they are missing, then configures and builds a build folder.

WFS_PACKAGES=(cmake ninja-build g++ pkg-config libfuse3-dev fuse3 libgtest-dev
              libgmock-dev libbenchmark-dev util-linux)

ensure_packages() {
    local missing=()
    for package in "${WFS_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing missing packages: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
}

# configure_and_build <build folder> <cmake options...>
configure_and_build() {
    local build_dir=$1
    shift
    cmake -S . -B "$build_dir" -G Ninja "$@"
    cmake --build "$build_dir"
}
