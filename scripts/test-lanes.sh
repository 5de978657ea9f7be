#!/usr/bin/env bash
# Runs the tests of a build in two lanes at once, each with a private
# PulseAudio null sink of its own and a private HOME, XDG folders and TMPDIR,
# so that no two tests ever play into the same sink. tests/CMakeLists.txt
# puts each test in lane a or b. Each lane's output is streamed with its name
# in front and kept in BUILD_DIR/Testing/lane-a.log and lane-b.log; a summary
# with each lane's time follows. Fails when either lane failed.
#   test-lanes.sh BUILD_DIR [ctest arguments]   e.g. -R tst_startup: both lanes
#                                               run what matches (a lane with
#                                               nothing to run is left out)
#   test-lanes.sh BUILD_DIR --run CMD [ARGS]    CMD in one such environment
# Needs pulseaudio and parec (pulseaudio-utils); used by run-tests.sh and, in
# the Debian 13 root, by .ci/run.
set -euo pipefail
SELF=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
BUILD_DIR=$(cd "$1" && pwd)
shift

minutes() { printf '%d min %02d s' $(($1 / 60)) $(($1 % 60)); }

# One sandbox with its sound server, kept running: should the server die in
# the middle of the run, its last words are printed and a new one takes its
# place; the restarts are counted in $RESTARTS.
start_sandbox() {
    SANDBOX=$(mktemp -d /tmp/orvaradio-tests.XXXXXX)
    mkdir -p "$SANDBOX/home/.config" "$SANDBOX/tmp" "$SANDBOX/runtime/pulse"
    chmod 700 "$SANDBOX/runtime"
    export XDG_RUNTIME_DIR=$SANDBOX/runtime
    export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native
    RESTARTS=$SANDBOX/sound-server-restarts
    export HOME=$SANDBOX/home
    export XDG_CONFIG_HOME=$SANDBOX/home/.config
    export TMPDIR=$SANDBOX/tmp
    keep_sound_server &
    keeper_pid=$!
    for _ in $(seq 50); do [ -S "$XDG_RUNTIME_DIR/pulse/native" ] && break; sleep 0.1; done
    sleep 2.5
    export QT_QPA_PLATFORM=offscreen
    export ORVARADIO_TEST_SINK=testsink
}

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

keeper_pid=""
child=""
SANDBOX=""
stop_sandbox() {
    [ -z "$child" ] || kill "$child" 2>/dev/null || true
    [ -z "$keeper_pid" ] || kill "$keeper_pid" 2>/dev/null || true
    [ -z "$keeper_pid" ] || wait "$keeper_pid" 2>/dev/null || true
    [ -z "$SANDBOX" ] || rm -rf "$SANDBOX"
}

# Runs "$@" in the background and waits for it, so that a TERM stops it at
# once; a lane itself runs in the background, where SIGINT is ignored, so the
# child gets it back for an interrupt from the terminal.
run_child() {
    env --default-signal=INT "$@" &
    child=$!
    local status=0
    wait "$child" || status=$?
    child=""
    return "$status"
}

# One lane: its tests in its own ctest folder (which includes the build's
# tests), so that the lanes' logs and lists of failed tests stay apart; when
# tests failed and the sound server was restarted meanwhile, they run once more.
# Its exit status and time go to Testing/lane-NAME.result.
run_lane() {
    local lane=$1
    shift
    local dir=$BUILD_DIR/Testing/lane-$lane
    mkdir -p "$dir"
    echo "subdirs(\"$BUILD_DIR\")" >"$dir/CTestTestfile.cmake"
    lane_result=$BUILD_DIR/Testing/lane-$lane.result
    trap 'lane_done $?' EXIT
    trap 'exit 143' TERM
    start_sandbox
    local status=0
    run_child ctest --test-dir "$dir" --output-on-failure -L "^lane_$lane\$" "$@" || status=$?
    if [ "$status" -ne 0 ] && [ -s "$RESTARTS" ]; then
        echo "The sound server was restarted during the run: the failed tests once more." >&2
        status=0
        run_child ctest --test-dir "$dir" --output-on-failure --rerun-failed || status=$?
    fi
    return "$status"
}

lane_done() {
    stop_sandbox
    echo "$1 $SECONDS" >"$lane_result"
}

case "${1:-}" in
--run)
    shift
    trap stop_sandbox EXIT
    start_sandbox
    status=0
    "$@" || status=$?
    exit "$status"
    ;;
--lane)
    shift
    run_lane "$@"
    exit
    ;;
esac

lanes=()
for lane in a b; do
    count=$(ctest --test-dir "$BUILD_DIR" -N -L "^lane_$lane\$" "$@" | sed -n 's/^Total Tests: //p')
    [ "${count:-0}" -eq 0 ] || lanes+=("$lane")
done
if [ ${#lanes[@]} -eq 0 ]; then
    echo "No tests match: ${*:-}" >&2
    exit 1
fi

declare -A pid
cleanup() {
    for lane in "${!pid[@]}"; do kill "${pid[$lane]}" 2>/dev/null || true; done
    wait
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

start=$SECONDS
for lane in "${lanes[@]}"; do
    log=$BUILD_DIR/Testing/lane-$lane.log
    : >"$log"
    rm -f "$BUILD_DIR/Testing/lane-$lane.result"
    bash "$SELF" "$BUILD_DIR" --lane "$lane" "$@" >"$log" 2>&1 &
    pid[$lane]=$!
    tail -n +1 -f --pid="${pid[$lane]}" "$log" | sed -u "s/^/[$lane] /" &
done
for lane in "${lanes[@]}"; do
    wait "${pid[$lane]}" || true
    unset "pid[$lane]"
done
wait

overall=0
echo "--- Test lanes ---"
for lane in "${lanes[@]}"; do
    log=$BUILD_DIR/Testing/lane-$lane.log
    read -r code took <"$BUILD_DIR/Testing/lane-$lane.result" || { code=1 took=0; }
    summary=$(grep -E '^[0-9]+% tests passed' "$log" | paste -sd ';' | sed 's/;/; once more: /' || true)
    echo "Lane $lane: $(minutes "$took"), ${summary:-no ctest summary}, exit status $code (log: $log)"
    if [ "$code" -ne 0 ]; then
        overall=1
        # The failed tests of its last ctest run.
        awk '/^The following tests FAILED:/ { n = 0; list = 1; next }
             list && /^[[:space:]]+[0-9]+ - / { failed[n++] = $0; next }
             { list = 0 }
             END { for (i = 0; i < n; i++) print failed[i] }' "$log"
        # What failed in them, so that a summary read alone says why.
        grep -E -A1 '^(FAIL!|QFATAL|XPASS)' "$log" | grep -v '^--$' | head -n 40 || true
    fi
done
echo "Both lanes: $(minutes $((SECONDS - start)))"
exit "$overall"
