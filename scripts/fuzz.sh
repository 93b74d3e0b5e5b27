#!/usr/bin/env bash
# fuzz.sh [SECONDS | runs=N] [TARGET...]: builds the libFuzzer targets with clang in
# build-fuzz and runs each in turn (all of them by default) for SECONDS (default
# 60) or N executions, on a copy of its seed corpus in build-fuzz/corpus/ (the
# committed corpus is never written). Crash inputs land in build-fuzz/artifacts/;
# a fixed one belongs in fuzz/regressions/<target>/. Needs clang and
# libclang-rt-14-dev.
set -euo pipefail
cd "$(dirname "$0")/.."

limit=(-max_total_time=60)
case "${1:-}" in
runs=*) limit=(-runs="${1#runs=}"); shift ;;
[0-9]*) limit=(-max_total_time="$1"); shift ;;
esac

# Inputs beyond these sizes add nothing the smaller ones miss, and cost executions.
declare -A maxlen=(
    [framereader]=600 [codecs]=600 [simulator]=600 [records]=2048
    [temptable]=4096 [listing]=4096 [scpi]=64 [valuetext]=1024
)
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=(framereader codecs simulator records temptable listing scpi valuetext)

dir=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLC_FUZZ=ON >/dev/null
cmake --build "$dir" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"

mkdir -p "$dir/logs"
summary=()
failed=0
for t in "${targets[@]}"; do
    corpus=$dir/corpus/$t
    mkdir -p "$corpus" "$dir/artifacts/$t"
    # Seeds and regressions join what earlier runs grew; nothing goes back.
    cp -n fuzz/corpus/"$t"/* "$corpus"/
    [ -d fuzz/regressions/"$t" ] && cp -n fuzz/regressions/"$t"/* "$corpus"/
    echo "fuzz: $t ${limit[*]}"
    status=ok
    # The simulator's code is in there: keep every target inside the private namespace.
    if ! LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp" \
        QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$dir/config" scripts/netns.sh \
        "$dir/fuzz/fuzz_$t" "${limit[@]}" -max_len="${maxlen[$t]}" -detect_leaks=1 \
        -print_final_stats=1 -artifact_prefix="$dir/artifacts/$t/" "$corpus" \
        >"$dir/logs/$t.log" 2>&1; then
        status=FAILED
        failed=1
        tail -n 40 "$dir/logs/$t.log"
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/logs/$t.log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$dir/logs/$t.log")
    # After 1000 inputs that leave the heap larger, libFuzzer stops checking each
    # input; LeakSanitizer still checks the whole run at its end.
    leaks="leak check per input"
    grep -q "disabled leak detection" "$dir/logs/$t.log" && leaks="leak check at the end"
    summary+=("$(printf '%-12s %12s executions %8s/s  %s  %s' "$t" "${runs:-?}" "${rate:-?}" "$status" "$leaks")")
done

echo "fuzz: executions per target (logs in $dir/logs/)"
printf '  %s\n' "${summary[@]}"
exit "$failed"
