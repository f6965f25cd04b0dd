#!/bin/sh
# The 10,000-game script replayed with and without 20 breakpoints that never hit (a condition that
# never holds, or a target the games never reach): the processor time of each run, both in turn,
# the lowest of each printed last.
#   benchmarks/breakpoints.sh build/cli/slotmachine-cli [RUNS]
set -eu
cli=$1
runs=${2:-7}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
i=0
while [ $i -lt 10000 ]; do printf 'coin\nplay\nplay\nsettle\nreset\n'; i=$((i + 1)); done > "$dir/games.session"
cat > "$dir/breaks" <<'LINES'
break A0 state 0 if bank > 1000000
break A0 state 1 if bank > 1000000
break A0 state 2 if bank > 1000000
break A1 state 0 if bank > 1000000
break A1 state 1 if bank > 1000000
break A2 state 0 if bank > 1000000
break A2 state 1 if bank > 1000000
break A2 state 2 if bank > 1000000
break A0 state 3 if stake > 100
break A0 event e3 if bank > 1000000
break A0 row 4 e6 #2 if player > 1000000
break A1 state 2
break A1 row 2 e2
break A0 row 0 e11 #2
break A0 event e11 if A1 = 2
break A2 event e5 if win > 9999
break A0 event e1 if stake > 100
break A1 event e10 if player > 1000 and bank = 0
break A0 row 3 e2
break A2 row 3 e5 if A0 = 3
LINES
cat "$dir/breaks" "$dir/games.session" > "$dir/breaks.session"
if "$cli" replay "$dir/breaks.session" | grep -q '^=== break'; then
    echo "a breakpoint hit" >&2
    exit 1
fi
run=0
while [ $run -lt "$runs" ]; do
    for name in games breaks; do
        /usr/bin/time -f "%U %S" -o "$dir/time" "$cli" replay --locale ru_RU "$dir/$name.session" > /dev/null
        awk -v name="$name" '{ printf "%s %.2f\n", name, $1 + $2 }' "$dir/time" | tee -a "$dir/all"
    done
    run=$((run + 1))
done
for name in games breaks; do
    awk -v name="$name" '$1 == name { if (min == "" || $2 < min) min = $2 } END { printf "lowest %s: %.2f s\n", name, min }' "$dir/all"
done
