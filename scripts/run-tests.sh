#!/usr/bin/env bash
# Installs what is missing, builds the desk and runs every test against a
# private PulseAudio null sink, with a private HOME, XDG folders and TMPDIR.
# Extra arguments go to ctest (for example: -R tst_startup).
source "$(dirname "$0")/common.sh"
install_missing $DESK_PACKAGES $TEST_PACKAGES
build_desk

SANDBOX=$(mktemp -d /tmp/orvaradio-tests.XXXXXX)
mkdir -p "$SANDBOX/home/.config" "$SANDBOX/tmp" "$SANDBOX/runtime/pulse"
chmod 700 "$SANDBOX/runtime"
export XDG_RUNTIME_DIR=$SANDBOX/runtime
export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native

pulse_pid=""
reader_pid=""
cleanup() {
    [ -n "$reader_pid" ] && kill "$reader_pid" 2>/dev/null || true
    [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null || true
    [ -n "$pulse_pid" ] && wait "$pulse_pid" 2>/dev/null || true
    rm -rf "$SANDBOX"
}
trap cleanup EXIT

pulseaudio --daemonize=no -n --use-pid-file=no --exit-idle-time=-1 --disallow-exit \
    --realtime=no --high-priority=no --log-target=file:"$XDG_RUNTIME_DIR/pulse.log" \
    --load="module-null-sink sink_name=testsink rate=44100 channels=2" \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$XDG_RUNTIME_DIR/pulse/native" \
    >/dev/null 2>&1 &
pulse_pid=$!
for _ in $(seq 50); do [ -S "$XDG_RUNTIME_DIR/pulse/native" ] && break; sleep 0.1; done
# An idle null sink only wakes every 2 s; a low-latency reader keeps it ticking.
parec --latency-msec=20 -d testsink.monitor >/dev/null 2>&1 &
reader_pid=$!
sleep 2.5

export HOME=$SANDBOX/home
export XDG_CONFIG_HOME=$SANDBOX/home/.config
export TMPDIR=$SANDBOX/tmp
export QT_QPA_PLATFORM=offscreen
export ORVARADIO_TEST_SINK=testsink

ctest --test-dir "$BUILD_DIR" --output-on-failure "$@"
