#!/bin/sh
# The companion's streams as a shell gives them: closed, a folder, a full disk, a reader gone
# with SIGPIPE ignored; and a Graphviz that finds no plugins. Each must end with its message and
# exit code.
#   Streams.sh CLI EXAMPLES_DIR
cli=$1
examples=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# expect CODE TEXT [FILE]: the last command's exit code and a text in its stderr (or FILE)
expect() {
    if [ "$status" != "$1" ] || ! grep -qF "$2" "${3:-$work/err}"; then
        echo "FAIL $case: exit $status, wanted $1 and «$2» in:"
        cat "${3:-$work/err}"
        failed=1
    else
        echo "ok   $case"
    fi
}

case='closed standard input'
"$cli" replay - <&- 2>"$work/err"; status=$?
expect 2 'не удаётся прочитать стандартный ввод: поток закрыт'

case='a folder on standard input'
"$cli" replay - <"$work" 2>"$work/err"; status=$?
expect 2 'не удаётся прочитать стандартный ввод: это папка'

for command in "replay $examples/winning-game.session" "odds --games 10" "diagram" "--help"; do
    case="$command into a full disk"
    # shellcheck disable=SC2086
    "$cli" $command >/dev/full 2>"$work/err"; status=$?
    expect 5 'не удаётся записать'
    grep -qF 'на диске нет места' "$work/err" || { echo "FAIL $case: no reason"; failed=1; }
done

case='closed standard output'
"$cli" replay "$examples/winning-game.session" >&- 2>"$work/err"; status=$?
expect 5 'поток закрыт'

case='a reader gone, SIGPIPE ignored'
i=0
while [ $i -lt 100000 ]; do
    echo coin; echo play; echo play; echo settle; echo return
    i=$((i + 1))
done >"$work/games.session"
status=$( (trap '' PIPE; "$cli" replay "$work/games.session" 2>"$work/err"; echo $? >"$work/code") \
    | head -c 10 >/dev/null; cat "$work/code")
expect 5 'канал закрыт читающей стороной; проигрыш прекращён на строке'
line=$(sed -n 's/.*на строке \([0-9]*\).*/\1/p' "$work/err")
[ "${line:-500000}" -lt 100000 ] || { echo "FAIL $case: ran to line $line"; failed=1; }

case='an escape sequence in a word'
printf 'co\033[31min\n' | "$cli" replay - 2>"$work/err"; status=$?
expect 2 '«co\x1b[31min»'
if grep -q "$(printf '\033')" "$work/err"; then echo "FAIL $case: ESC on stderr"; failed=1; fi

case='a file name that is not UTF-8'
name=$(printf "$work/\377.session")
echo show >"$name"
"$cli" replay "$name" >"$work/out" 2>"$work/err"; status=$?
expect 0 '=== bank=50' "$work/out"

case='Graphviz with no plugins'
GVBINDIR="$work" "$cli" diagram --format svg >"$work/out" 2>"$work/err"; status=$?
expect 4 'Graphviz не смог нарисовать диаграмму'
[ ! -s "$work/out" ] || { echo "FAIL $case: wrote a diagram"; failed=1; }

exit $failed
