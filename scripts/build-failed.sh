#!/bin/sh
# build-failed.sh LOG - what a failed build says, for scripts that keep the
# build's output in LOG: its first error, then its last lines. A pattern
# alone would drop what matters, such as a linker's "undefined reference".
log=$1
first=$(grep -n -m1 -iE 'error|undefined reference|fatal' "$log")
[ -z "$first" ] || printf 'first error, at line %s of %s:\n  %s\n' "${first%%:*}" "$log" "${first#*:}"
echo "last lines of $log:"
tail -n 30 "$log"
