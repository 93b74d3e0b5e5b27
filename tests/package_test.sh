#!/usr/bin/env bash
# package_test.sh BUILD_DIR BINDIR LIBDIR LIBEXECDIR DATADIR DESKTOP_ID...
# Builds the .deb from BUILD_DIR's binaries into a temporary directory, unpacks it
# with dpkg-deb and starts each program of a desktop entry from the unpacked files,
# under Xvfb, against the unpacked lc-simulator. Exits 77 (skipped) without the
# Debian packaging tools.
set -euo pipefail

for tool in cpack dpkg-deb dpkg-shlibdeps; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done

# A namespace of its own: the simulator takes the unit's fixed port and the
# programs broadcast, while other tests run beside this one.
if [ "$(id -u)" -eq 0 ] && [ -z "${LC_PACKAGE_TEST_NETNS:-}" ] && unshare -n true 2>/dev/null; then
    exec unshare -n env LC_PACKAGE_TEST_NETNS=1 bash -c 'ip link set lo up && exec "$@"' \
        package "$0" "$@"
fi

build=$1 bindir=$2 libdir=$3 libexecdir=$4 datadir=$5
shift 5
ids=("$@")

tmp=$(mktemp -d)
cleanup() {
    kill $(jobs -p) 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

started=$SECONDS
if ! cpack --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1; then
    cat "$tmp/cpack.log"
    fail "cpack did not build the package"
fi
debs=("$tmp"/out/*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb, found: ${debs[*]}"
deb=${debs[0]}
echo "package: $(basename "$deb") built in $((SECONDS - started)) s"

depends=$(dpkg-deb -f "$deb" Depends)
echo "package: Depends: $depends"
for lib in libqt5widgets5 libqt5network5 libqcustomplot2.1 libstdc++6; do
    [[ "$depends" == *"$lib"* ]] || fail "Depends does not name $lib"
done

root=$tmp/root
dpkg-deb -x "$deb" "$root"
prefix=$root/usr
for file in "$bindir/lc-simulator" "$bindir/lc-ctl" "$libdir/libvisa32.so" "$libexecdir/lumicrate/winscp.com"; do
    [ -e "$prefix/$file" ] || fail "the package lacks /usr/$file"
done
[ -x "$prefix/$libexecdir/lumicrate/winscp.com" ] || fail "the upload runner is not executable"
for id in "${ids[@]}"; do
    for file in "applications/$id.desktop" "metainfo/$id.metainfo.xml" \
        "icons/hicolor/scalable/apps/$id.svg" "icons/hicolor/48x48/apps/$id.png" \
        "icons/hicolor/64x64/apps/$id.png" "icons/hicolor/128x128/apps/$id.png" \
        "icons/hicolor/256x256/apps/$id.png"; do
        [ -f "$prefix/$datadir/$file" ] || fail "the package lacks /usr/$datadir/$file"
    done
done
# The metainfo's launchables must name the desktop entries beside them.
appstreamcli validate-tree --no-net "$root" >"$tmp/tree.log" 2>&1 ||
    { cat "$tmp/tree.log"; fail "appstreamcli validate-tree"; }

Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp 3>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
for _ in $(seq 100); do
    [ -s "$tmp/display" ] && break
    sleep 0.1
done
[ -s "$tmp/display" ] || { cat "$tmp/xvfb.log"; fail "Xvfb did not start"; }
display=:$(head -n1 "$tmp/display")

# The programs see nothing of the build tree or of the caller's settings.
run() {
    exec env -u QT_QPA_PLATFORM -u QT_PLUGIN_PATH DISPLAY="$display" XDG_CONFIG_HOME="$tmp/config" \
        LD_LIBRARY_PATH="$prefix/$libdir" "$@"
}

run "$prefix/$bindir/lc-simulator" >"$tmp/simulator.log" 2>&1 &
simulator=$!
for _ in $(seq 100); do
    (exec 3<>/dev/tcp/127.0.0.1/9876) 2>/dev/null && break
    kill -0 $simulator 2>/dev/null || break
    sleep 0.1
done
(exec 3<>/dev/tcp/127.0.0.1/9876) 2>/dev/null || { cat "$tmp/simulator.log"; fail "lc-simulator did not start"; }

for id in "${ids[@]}"; do
    program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$prefix/$datadir/applications/$id.desktop")
    executable=$prefix/$bindir/$program
    [ -x "$executable" ] || fail "$id.desktop runs $program, which the package lacks"
    log=$tmp/$program.log
    started=$SECONDS
    run "$executable" >"$log" 2>&1 &
    pid=$!
    if ! window=$(DISPLAY=$display timeout 30 xdotool search --sync --onlyvisible --pid $pid 2>/dev/null | head -n1) ||
        [ -z "$window" ]; then
        cat "$log"
        fail "$program showed no window within 30 s"
    fi
    title=$(DISPLAY=$display xdotool getwindowname "$window" 2>/dev/null || true)
    sleep 1
    kill -0 $pid 2>/dev/null || { cat "$log"; fail "$program ended after showing its window"; }
    kill $pid
    wait $pid 2>/dev/null || true
    if grep -i -E "error while loading shared libraries|qt platform plugin" "$log"; then
        fail "$program could not load what it needs"
    fi
    echo "package: $program showed \"$title\" after $((SECONDS - started)) s"
done
# The terminal tool: its libraries load and it reads the simulator's module 1.
(run "$prefix/$bindir/lc-ctl" info 127.0.0.1 1) >"$tmp/lc-ctl.log" 2>&1 ||
    { cat "$tmp/lc-ctl.log"; fail "lc-ctl info from the package failed"; }
grep -q "^kind: SSPD driver M0$" "$tmp/lc-ctl.log" || { cat "$tmp/lc-ctl.log"; fail "lc-ctl info printed no SSPD driver"; }
echo "package: lc-ctl read module 1"
kill -0 $simulator 2>/dev/null || { cat "$tmp/simulator.log"; fail "lc-simulator ended"; }
echo "package: all programs started from the package"
