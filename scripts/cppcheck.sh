#!/bin/sh
# Static analysis of the plug-in's own sources as a 32-bit Windows ANSI program. Exits
# non-zero on any finding not accepted in scripts/cppcheck-suppressions.txt. Takes seconds.
cd "$(dirname "$0")/.." || exit 1
exec cppcheck --quiet --error-exitcode=1 --std=c++17 --platform=win32A --library=windows \
    --enable=warning,style,performance,portability --inline-suppr \
    -D_WIN32 -DWIN32_LEAN_AND_MEAN -D__MINGW32__ \
    --suppress=missingIncludeSystem --suppressions-list=scripts/cppcheck-suppressions.txt \
    --template='{file}:{line}: {severity} ({id}): {message}' \
    plugin/settings plugin/window plugin/host plugin/fade plugin/dock plugin/ui plugin/entry
