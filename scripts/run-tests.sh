#!/usr/bin/env bash
# Installs what is missing, builds the desk and runs every test with
# scripts/test-lanes.sh: two lanes at once, each against a private PulseAudio
# null sink of its own, with a private HOME, XDG folders and TMPDIR.
# Extra arguments go to ctest in both lanes (for example: -R tst_startup).
# With --run, the command after it runs in one such environment instead of
# the tests (for example: --run build/tests/soak_onair 500, the long soak).
source "$(dirname "$0")/common.sh"
install_missing $DESK_PACKAGES $TEST_PACKAGES
build_desk
exec bash "$ROOT_DIR/scripts/test-lanes.sh" "$BUILD_DIR" "$@"
