#!/usr/bin/env bash
# Formats every tracked C++ file with the project's .clang-format (res/ holds the resource ids and stays as is).
set -euo pipefail
cd "$(git -C "$(dirname "$0")" rev-parse --show-toplevel)"
git ls-files -z -- '*.cpp' '*.h' ':!:res/*' | xargs -0 -r "${CLANG_FORMAT:-clang-format}" -i --style=file
