#!/usr/bin/env bash
# Builds the native libraries, the native tests and both extension modules
# with AddressSanitizer and UndefinedBehaviorSanitizer, runs the native tests
# and then the Python tests of the module against the sanitized build. Any
# sanitizer report from the project's code fails the run; leaks that belong to
# the interpreter alone (it does not free everything at exit) are left out.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/sanitize
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGESTURON_SANITIZE=ON -DGESTURON_BUILD_TESTS=ON \
  -DPython_EXECUTABLE="$(command -v python3)" > /dev/null
cmake --build "$build" --parallel 2
ctest --test-dir "$build" --output-on-failure

# An importable tree: the sanitized modules beside the companion package's
# Python files and its score files, as an install would lay them out.
site="$build/site"
rm -rf "$site"
mkdir -p "$site"
cp "$build"/python/gesturon*.so "$site/"
cp -r python/gesturon_tools "$site/"
cp "$build"/python/gesturon_tools/_beats*.so "$site/gesturon_tools/"
mkdir -p "$site/gesturon_tools/beats"
cp src/packs/beats/*.beat "$site/gesturon_tools/beats/"

reports="$build/reports"
rm -rf "$reports"
mkdir -p "$reports"
# The interpreter is not instrumented, so the sanitizer runtime is loaded
# first, with the C++ runtime whose exceptions it intercepts; Python's own
# allocator is bypassed so that every allocation is seen. The run covers the
# tests that drive the native code (the module and the companion's beat
# renderers); the tools' tests (gallery, command line, live output) exercise
# Python code and other processes and run above without the sanitizers.
set +e
(
  cd tests/python
  env LD_PRELOAD="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libstdc++.so)" PYTHONMALLOC=malloc \
    ASAN_OPTIONS="detect_leaks=1:log_path=$PWD/../../$reports/asan:detect_odr_violation=0" \
    LSAN_OPTIONS="exitcode=0" `# leaks do not decide the status: the report reader below does` \
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$PWD/../../$reports/ubsan" \
    PYTHONPATH="$PWD/../../$site" \
    python3 -m pytest -q -p no:cacheprovider test_module.py test_procedural.py test_catalogue.py test_patterns.py \
      test_pattern_bindings.py test_recording.py test_properties.py test_own_beats.py test_hostile.py \
      test_bounds.py "$@"
)
status=$?
set -e
python3 scripts/sanitizer_reports.py "$reports"
[ $status -eq 0 ] || exit $status

# A short pass of every fuzz target under the sanitizers: the libFuzzer
# target of the score reader, and the Atheris targets against the modules
# built above. Any crash or sanitizer report fails the run.
python3 scripts/fuzz.py --sanitized --seconds "${GESTURON_FUZZ_SECONDS:-5}"
