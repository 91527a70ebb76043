#!/usr/bin/env bash
# Non-blank lines of code (comments included) in the tests against the product.
# Code is C++, Python, shell, CMake and resource scripts; golden listings,
# expected outputs, transcripts, corpora, samples and images are data.
set -euo pipefail
cd "$(dirname "$0")/.."
count() {
  find "$@" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' -o -name '*.py' -o -name '*.sh' \
       -o -name '*.cmake' -o -name '*.rc' -o -name CMakeLists.txt \) \
       -not -path 'fuzz/corpus/*' -not -path 'sim/sample/*' -not -path 'tests/listings/*' -print0 |
    xargs -0 cat | grep -c '[^[:space:]]'
}
tests=$(count tests fuzz)
product=$(count app tree serial lib cli sim res)
echo "test code:    $tests lines (tests/, fuzz/)"
echo "product code: $product lines (app/ tree/ serial/ lib/ cli/ sim/ res/)"
awk -v t="$tests" -v p="$product" 'BEGIN { printf "tests/product: %.0f %%, tests/all code: %.0f %%\n", 100*t/p, 100*t/(t+p) }'
