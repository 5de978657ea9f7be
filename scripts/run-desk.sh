#!/usr/bin/env bash
# Installs what is missing, builds the desk (not the tests) and starts it.
source "$(dirname "$0")/common.sh"
install_missing $DESK_PACKAGES
build_desk orvaradio

if [ "$(id -u)" -eq 0 ]; then
    echo "Starting the desk as root: its settings and logs go to root's home. Run this" >&2
    echo "script as the user who runs the station; it uses sudo to install." >&2
fi
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != offscreen ]; then
    echo "Built $BUILD_DIR/orvaradio. The desk is a window and needs a graphical session:" >&2
    echo "run this from a desktop or a remote desktop (see the README)." >&2
    exit 1
fi
# The sound server of this session; pactl is limited in time, as it can hang.
if ! timeout 5 pactl info >/dev/null 2>&1; then
    echo "No sound server answers (PipeWire or PulseAudio): the desk would play nothing." >&2
    echo "Install one (pipewire-pulse or pulseaudio) and log in again; see the README." >&2
fi
exec "$BUILD_DIR/orvaradio" "$@"
