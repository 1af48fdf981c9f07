# Inside the test virtual machine: runs every test program carried in, each one's output
# framed so that vm-case.sh can find its cases.
status=0
for program in /velmora/bin/*Test; do
  name=${program##*/}
  echo "@@@ begin $name"
  "$program" --gtest_color=no
  result=$?
  echo "@@@ end $name $result"
  [ "$result" -eq 0 ] || status=1
done
exit "$status"
