#!/usr/bin/env bash
# Installs what is missing, builds the desk and runs every test against a
# private PulseAudio null sink, with a private HOME, XDG folders and TMPDIR.
# Extra arguments go to ctest (for example: -R tst_startup). With --run, the
# command after it runs in that environment instead of the tests (for example:
# --run build/tests/soak_onair 500, the long soak).
source "$(dirname "$0")/common.sh"
install_missing $DESK_PACKAGES $TEST_PACKAGES
build_desk

SANDBOX=$(mktemp -d /tmp/orvaradio-tests.XXXXXX)
mkdir -p "$SANDBOX/home/.config" "$SANDBOX/tmp" "$SANDBOX/runtime/pulse"
chmod 700 "$SANDBOX/runtime"
export XDG_RUNTIME_DIR=$SANDBOX/runtime
export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native

keeper_pid=""
cleanup() {
    [ -n "$keeper_pid" ] && kill "$keeper_pid" 2>/dev/null || true
    [ -n "$keeper_pid" ] && wait "$keeper_pid" 2>/dev/null || true
    rm -rf "$SANDBOX"
}
trap cleanup EXIT

# The sound server, kept running: should it die in the middle of the run, its
# last words are printed, a new one takes its place for the tests after it,
# and the tests that failed meanwhile are run once more at the end.
RESTARTS=$SANDBOX/sound-server-restarts
keep_sound_server() {
    local pulse="" reader=""
    trap 'kill $reader $pulse 2>/dev/null; wait $pulse 2>/dev/null; exit 0' TERM
    while :; do
        pulseaudio --daemonize=no -n --use-pid-file=no --exit-idle-time=-1 --disallow-exit \
            --realtime=no --high-priority=no --log-target=file:"$XDG_RUNTIME_DIR/pulse.log" \
            --load="module-null-sink sink_name=testsink rate=44100 channels=2" \
            --load="module-native-protocol-unix auth-anonymous=1 socket=$XDG_RUNTIME_DIR/pulse/native" \
            >/dev/null 2>&1 &
        pulse=$!
        for _ in $(seq 50); do [ -S "$XDG_RUNTIME_DIR/pulse/native" ] && break; sleep 0.1; done
        # An idle null sink only wakes every 2 s; a low-latency reader keeps it ticking.
        parec --latency-msec=20 -d testsink.monitor >/dev/null 2>&1 &
        reader=$!
        wait $pulse || true
        kill $reader 2>/dev/null || true
        echo "The test sound server ended; its log ends with:" >&2
        tail -n 20 "$XDG_RUNTIME_DIR/pulse.log" >&2 || true
        echo x >>"$RESTARTS"
        rm -f "$XDG_RUNTIME_DIR/pulse/native"
    done
}
keep_sound_server &
keeper_pid=$!
for _ in $(seq 50); do [ -S "$XDG_RUNTIME_DIR/pulse/native" ] && break; sleep 0.1; done
sleep 2.5

export HOME=$SANDBOX/home
export XDG_CONFIG_HOME=$SANDBOX/home/.config
export TMPDIR=$SANDBOX/tmp
export QT_QPA_PLATFORM=offscreen
export ORVARADIO_TEST_SINK=testsink

if [ "${1:-}" = --run ]; then
    shift
    status=0
    "$@" || status=$?
    exit "$status"
fi

status=0
ctest --test-dir "$BUILD_DIR" --output-on-failure "$@" || status=$?
if [ "$status" -ne 0 ] && [ -s "$RESTARTS" ]; then
    echo "The sound server was restarted during the run: the failed tests once more." >&2
    status=0
    ctest --test-dir "$BUILD_DIR" --output-on-failure --rerun-failed || status=$?
fi
exit "$status"
