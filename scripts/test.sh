#!/usr/bin/env bash
# Installs gesturon with what its tests need and runs every test: the native
# tests (GoogleTest, through ctest) and the Python tests (pytest) against the
# installed module, the type checks among them (stubtest and mypy --strict).
set -euo pipefail
cd "$(dirname "$0")/.."

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

# System packages from Debian: GoogleTest for the native tests, OpenSSL's
# libcrypto for the table generator (SHA-256 control points of the noise
# patterns; the module itself does not link it), Chromium for the
# gallery's browser test, and clang with its libFuzzer runtime for the
# native fuzz target.
# For the beat sources: JACK (its dummy backend carries the MIDI clock test
# without a sound card) and iproute2 for the private network namespace in
# which the Ableton Link tests run.
missing=()
command -v jackd > /dev/null || missing+=(jackd2)
command -v ip > /dev/null || missing+=(iproute2)
[ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
[ -f /usr/include/openssl/evp.h ] || missing+=(libssl-dev)
command -v chromium > /dev/null || missing+=(chromium)
command -v clang++ > /dev/null || missing+=(clang)
ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a > /dev/null 2>&1 || missing+=(libclang-rt-dev)
if [ ${#missing[@]} -gt 0 ]; then
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

python3 -m pip install --quiet ".[test]"

cmake -S . -B build/native-tests -DGESTURON_BUILD_MODULE=OFF -DGESTURON_BUILD_TESTS=ON
cmake --build build/native-tests --parallel 2
ctest --test-dir build/native-tests --output-on-failure

# Run from outside the source tree so that the installed module is the one tested.
cd tests/python
python3 -m pytest -q "$@"

# The same native and Python tests once more, against a build with
# AddressSanitizer and UndefinedBehaviorSanitizer.
cd ../..
bash scripts/test_sanitized.sh
