#!/bin/sh
# How CTest runs one case of a test program that runs in the test virtual machine:
#   vm-case.sh RESULTS PROGRAM --gtest_list_tests         lists its cases, on this machine
#   vm-case.sh RESULTS PROGRAM --gtest_filter=CASE ...    prints what CASE printed in the
#                                                         machine and exits as it ended there
# RESULTS is the folder scripts/vm-run.sh filled; 77 when the machine could not run here.
results=$1
program=$2
shift 2
case=""
for arg; do
  case $arg in
  --gtest_list_tests) exec "$program" "$@" ;;
  --gtest_filter=*) case=${arg#--gtest_filter=} ;;
  esac
done
if [ -f "$results/skipped" ]; then
  cat "$results/skipped"
  exit 77
fi
awk -v program="$(basename "$program")" -v case="$case" '
  $0 == "@@@ begin " program { inside = 1; next }
  !inside { next }
  index($0, "@@@ end " program " ") == 1 { exit }
  $0 == "[ RUN      ] " case { running = 1 }
  running { print }
  running && index($0, "[       OK ] " case " (") == 1 { result = 0; exit }
  running && index($0, "[  SKIPPED ] " case " (") == 1 { result = 0; exit }
  running && index($0, "[  FAILED  ] " case " (") == 1 { result = 1; exit }
  END {
    if (result == "") {
      print "the case did not come to its end in the virtual machine (see " ARGV[1] ")"
      exit 1
    }
    exit result
  }
' "$results/output.log"
