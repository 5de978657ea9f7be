# Shared by run-desk.sh and run-tests.sh: installs what is missing and builds.
set -euo pipefail

ROOT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT_DIR/build}

# What the desk needs to build, to play MP3, WAV, OGG, FLAC and MP4, and to
# show Qt's own dialogs in Portuguese.
DESK_PACKAGES="build-essential cmake ninja-build pkg-config qt6-base-dev qt6-base-dev-tools
  qt6-multimedia-dev qt6-svg-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-translations-l10n
  libtag1-dev libshout3-dev libopusenc-dev ffmpeg pulseaudio-utils gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  gstreamer1.0-libav gstreamer1.0-pulseaudio fonts-dejavu-core"
# What the tests need on top: a private sound server, tone generation, a
# virtual display for screenshots, speech for the time voices, the
# checkers of the installed files and of the package, and a stream server for the now-playing
# titles (each test runs its own; the package's service is not used).
TEST_PACKAGES="pulseaudio pulseaudio-utils gstreamer1.0-plugins-base-apps sox xvfb xauth xdotool imagemagick
  espeak-ng desktop-file-utils appstream man-db file icecast2 lintian"

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null; then
        sudo "$@"
    else
        echo "Installing packages needs root: run this as root, or as a user who may use sudo." >&2
        exit 1
    fi
}

install_missing() {
    local missing=()
    for pkg in $*; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" \
            || missing+=("$pkg")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root apt-get update -q
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
    fi
}

# Configures only a build folder that has no build system yet: once there is
# one, the build runs cmake again by itself when a CMakeLists.txt changed.
# Builds the targets named, or everything.
build_desk() {
    if [ ! -f "$BUILD_DIR/build.ninja" ] && [ ! -f "$BUILD_DIR/Makefile" ]; then
        cmake -S "$ROOT_DIR" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo --log-level=NOTICE
    fi
    local targets=()
    [ $# -eq 0 ] || targets=(--target "$@")
    cmake --build "$BUILD_DIR" --parallel "$(nproc)" "${targets[@]}"
}
