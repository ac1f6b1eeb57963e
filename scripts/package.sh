#!/usr/bin/env bash
# Makes the Octave package dist/orbitkit-<version>.tar.gz, which
# "pkg install" accepts: it compiles the modules on the user's machine.
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -n 's/^Version: //p' package/DESCRIPTION)
stage=dist/orbitkit-$version
rm -rf "$stage" && mkdir -p "$stage/inst" "$stage/src"
cp package/DESCRIPTION package/INDEX package/post_install.m COPYING "$stage/"
cp package/Makefile "$stage/src/"
cp -r host neighbours predict "$stage/src/"
rm -f "$stage"/src/host/standin* "$stage"/src/host/*_test.cpp "$stage"/src/host/*_cases.h "$stage"/src/host/host_calls.h
rm -f "$stage"/src/neighbours/*_test.cpp "$stage"/src/neighbours/brute_force.h "$stage"/src/neighbours/test_data.h
rm -f "$stage"/src/predict/models.h
for dir in */; do
  module=${dir%/}
  [ -f "$module/$module.cpp" ] || continue
  mkdir -p "$stage/src/$module"
  cp "$module/$module.cpp" "$stage/src/$module/"
  # The headers the source includes from its own folder, and those they
  # include in turn: the module is still compiled from its one source.
  pending=("$module/$module.cpp")
  while [ ${#pending[@]} -gt 0 ]; do
    file=${pending[0]}
    pending=("${pending[@]:1}")
    for header in $(sed -n "s|^#include \"\($module/[^\"]*\.h\)\".*|\1|p" "$file"); do
      [ -f "$stage/src/$header" ] && continue
      cp "$header" "$stage/src/$header"
      pending+=("$header")
    done
  done
  [ -f "$module/$module.m" ] && cp "$module/$module.m" "$stage/inst/"
done
[ -f Contents.m ] && cp Contents.m "$stage/inst/"
tar -czf "$stage.tar.gz" -C dist "orbitkit-$version"
rm -rf "$stage"
echo "$stage.tar.gz"
