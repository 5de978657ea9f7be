#!/usr/bin/env bash
# Installs what is missing, builds the desk and starts it.
source "$(dirname "$0")/common.sh"
install_missing $DESK_PACKAGES
build_desk
exec "$BUILD_DIR/orvaradio" "$@"
