# What the benchmarks share; sourced by scripts/bench-*.sh, which run from the repository's
# root. Not a benchmark itself.

# bench_build PRESET TARGET...: configures PRESET's build tree and builds the targets in it.
bench_build() {
  local preset=$1 targets=() target
  shift
  for target; do targets+=(--target "$target"); done
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)" "${targets[@]}" >/dev/null
}

# bench_limited COMMAND...: runs COMMAND, its errors shown with its output, for at most
# OMBREVALE_BENCH_TIMEOUT seconds (120 unless set), and says so when it gave no answer in
# time. Never fails, so that the other cases still run.
bench_limited() {
  local limit=${OMBREVALE_BENCH_TIMEOUT:-120} status=0
  timeout "$limit" "$@" 2>&1 || status=$?
  [ "$status" = 124 ] && echo "no answer within $limit s"
  true
}

# bench_prefix PREFIX: Wine runs in PREFIX from here on; the prefix is started now and
# stopped when the script ends.
bench_prefix() {
  export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  bash scripts/wine-prefix.sh start "$WINEPREFIX"
  trap 'bash scripts/wine-prefix.sh stop "$WINEPREFIX"' EXIT
}

# bench_on_demo_server TARGET SCRIPT [ARGUMENTS...]: for the benchmarks that time the program
# through the demo server. Installs what the build needs and builds TARGET for Windows,
# runs SCRIPT again on a display of its own when there is none, and starts the benchmarks'
# prefix with the demo server registered in it. Sets bin to the folder of the programs.
bench_on_demo_server() {
  local target=$1 script=$2
  shift 2
  bash scripts/deps.sh
  bench_build windows "$target"

  if [ -z "${DISPLAY:-}" ]; then
    exec bash scripts/with-display.sh bash "$script" "$@"
  fi

  bin=$PWD/build/windows/bin
  bench_prefix "$PWD/build/windows/wineprefix-bench"
  wine "$bin/OmbrevaleDemoHost.exe" /RegServer /s
}
