#!/usr/bin/env bash
# Usage: check_imports.sh PLUGIN EXPECTED_HOST_SYMBOL...
#
# A MEX file may import from its host only what MATLAB's libmx and libmex
# export. This lists the plug-in's undefined dynamic symbols and checks that
# the unversioned ones (those bound by the host) are exactly the expected
# set, and that every other one comes from the C library (glibc-versioned):
# MATLAB ships its own, older C++ runtime, so importing libstdc++ would tie
# the binary to the runtime of the machine it was built on. Besides the host,
# a plug-in may import what its expected list names of the libraries it links
# (lamina_solve: CHOLMOD). Weak undefined symbols (those a statically linked
# C++ runtime leaves for transactional memory, say) bind to nothing when no
# library defines them, so they are no imports.
set -euo pipefail
plugin=$1
shift
expected=$(printf '%s\n' "$@" | sort -u)

undefined=$(nm -D --undefined-only "$plugin" | awk '$1 != "w" && $1 != "v" {print $NF}')
host=$(printf '%s\n' "$undefined" | grep -v '@' |
       grep -vxE '_ITM_deregisterTMCloneTable|_ITM_registerTMCloneTable|__gmon_start__' |
       sort -u || true)
foreign=$(printf '%s\n' "$undefined" | grep '@' | grep -vE '@GLIBC_[0-9.]+$' || true)

status=0
if [ "$host" != "$expected" ]; then
  echo "$plugin: host imports differ from the expected set"
  diff <(printf '%s\n' "$expected") <(printf '%s\n' "$host") || true
  status=1
fi
if [ -n "$foreign" ]; then
  echo "$plugin: imports from libraries other than the C library:"
  printf '  %s\n' $foreign
  status=1
fi
exported=$(nm -D --defined-only "$plugin" | awk '{print $NF}' | sort -u)
if [ "$exported" != "$(printf '%s\n' mexFunction mexfilerequiredapiversion)" ]; then
  echo "$plugin: exports differ from mexFunction, mexfilerequiredapiversion:"
  printf '  %s\n' $exported
  status=1
fi
[ $status -eq 0 ] && echo "$plugin: imports $(echo $host) and the C library; exports mexFunction, mexfilerequiredapiversion"
exit $status
