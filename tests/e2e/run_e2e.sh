#!/usr/bin/env bash
# Runs the real program on a display of its own, as a user would: search a term, select it, read what
# the window shows from a screenshot, close the window. No window manager runs, so the script does
# what one would: gives the window the focus and asks it to close.
# Usage: run_e2e.sh ZORVANE ZORVANE_DB ARTEFACTS_DIR SOURCE_DIR
set -euo pipefail

if [ $# -ne 4 ]; then
    echo "usage: $0 ZORVANE ZORVANE_DB ARTEFACTS_DIR SOURCE_DIR" >&2
    exit 2
fi
program=$1 dbtool=$2 artefacts=$3 source=$4

fail() {
    echo "E2E FAILED: $*" >&2
    exit 1
}
trap 'echo "E2E FAILED: line $LINENO: $BASH_COMMAND" >&2' ERR

for tool in Xvfb xdotool import convert python3; do
    command -v "$tool" >/dev/null || fail "'$tool' is missing; scripts/install-deps.sh installs it"
done

# The window's design layout in client pixels (15 twips to a pixel): left top width height.
client_w=752 client_h=611
read -r search_x search_y search_w search_h <<<"128 72 273 19"  # Txt_Search
read -r list_x list_y list_w list_h <<<"112 200 289 350"        # List1
read -r term_x term_y term_w term_h <<<"408 200 321 25"         # TextPAROLA
read -r def_x def_y def_w def_h <<<"408 229 337 321"            # RichTextBox1
# A row of the list is 11 px at this font; from 16 px under the list's top the first row (and its
# selection highlight) is left behind while the second row's letters are still inside.
below_first_row=16
# Only the term "Zafferano di Navelli" holds it; its definition holds it twice.
search=zaff

work=$(mktemp -d "${TMPDIR:-/tmp}/zorvane-e2e.XXXXXX")
app_pid='' xvfb_pid=''
cleanup() {
    if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then
        kill "$app_pid" 2>/dev/null || true
        wait "$app_pid" 2>/dev/null || true
    fi
    if [ -n "$xvfb_pid" ] && kill -0 "$xvfb_pid" 2>/dev/null; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    [ -f "$work/zorvane.log" ] && cp "$work/zorvane.log" "$artefacts/zorvane.log"
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$artefacts"
rm -f "$artefacts"/*.png "$artefacts"/*.log

# 1. The program opens the glossary beside its own executable, so both go into one folder.
cp "$program" "$work/zorvane"
printf '%s\r\n' \
    'Parola,Definizione' \
    'Basilico,Erba aromatica del pesto genovese.' \
    'Carciofo,"Ortaggio invernale, ottimo alla romana."' \
    'Dattero,Frutto della palma da datteri.' \
    'Emmental,Formaggio svizzero con i buchi.' \
    'Finocchio,Ortaggio dal sapore di anice.' \
    'Gorgonzola,Formaggio erborinato lombardo.' \
    'Zafferano di Navelli,"Spezia dagli stimmi del croco: lo zafferano si coglie all'"'"'alba, e lo zafferano in fili vale più di quello in polvere."' \
    >"$work/glossario.csv"
"$dbtool" import --create "$work/QUORLAN.mdb" "$work/glossario.csv" >/dev/null ||
    fail "zorvane-db could not create the glossary"

# 2. A display of our own; the lock and the socket tell which numbers are taken, and Xvfb writes its
# number to -displayfd only once it accepts clients.
display=''
for n in $(seq 90 149); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    : >"$work/displayfd"
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -displayfd 3 3>"$work/displayfd" >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 100); do
        [ -s "$work/displayfd" ] && break
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ -s "$work/displayfd" ] && kill -0 "$xvfb_pid" 2>/dev/null; then
        display=":$n"
        break
    fi
    # Another server took the number in the meantime: try the next one.
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=''
done
[ -n "$display" ] || fail "no free X display between :90 and :149 (last Xvfb said: $(cat "$work/xvfb.log"))"
export DISPLAY=$display
unset WAYLAND_DISPLAY QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_AUTO_SCREEN_SCALE_FACTOR QT_FONT_DPI
export QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
echo "display $DISPLAY, folder $work"

(cd "$work" && exec ./zorvane) >"$work/zorvane.log" 2>&1 &
app_pid=$!

# The title starts with ZORVANE; the search ignores case, so the hidden "Zorvane" leader window and
# the splash are told apart by the exact title.
main_window() {
    local w
    for w in $(xdotool search --onlyvisible --name '^ZORVANE' 2>/dev/null || true); do
        [[ $(xdotool getwindowname "$w" 2>/dev/null) == ZORVANE* ]] && echo "$w" && return 0
    done
    return 1
}

app_alive() {
    kill -0 "$app_pid" 2>/dev/null || fail "the program ended early: $(cat "$work/zorvane.log")"
}

win=''
start=$SECONDS
while [ $((SECONDS - start)) -lt 20 ]; do
    app_alive
    win=$(main_window) && break
    sleep 0.2
done
[ -n "$win" ] || fail "the main window ZORVANE... did not appear within 20 s"
echo "main window $win after about $((SECONDS - start)) s: $(xdotool getwindowname "$win")"

# 3. Where the client area lies: the menu bar takes the height above the design client.
eval "$(xdotool getwindowgeometry --shell "$win" | grep -E '^(X|Y|WIDTH|HEIGHT)=[0-9]+$')"
menu=$((HEIGHT - client_h))
echo "window at $X,$Y size ${WIDTH}x$HEIGHT, menu bar $menu px"
[ "$WIDTH" -eq "$client_w" ] || fail "the window is $WIDTH px wide, not the $client_w px of its client area"
if [ "$menu" -le 0 ] || [ "$menu" -gt 60 ]; then
    fail "a window $HEIGHT px high leaves no menu bar above a $client_h px client"
fi
ox=$X oy=$((Y + menu))

# Every pixel of a client rectangle of a screenshot, as "x y r g b".
pixels() { # shot left top width height
    convert "$1" -crop "$4x$5+$((ox + $2))+$((oy + $3))" +repage -alpha off -colorspace sRGB -depth 8 txt:- |
        sed -n 's/^\([0-9]*\),\([0-9]*\): *(\([0-9.]*\),\([0-9.]*\),\([0-9.]*\).*/\1 \2 \3 \4 \5/p'
}
# Text is dark where no channel is bright; the blue and white of a selected row are not.
count_dark() { pixels "$@" | awk '{ m = $3; if ($4 > m) m = $4; if ($5 > m) m = $5; if (m < 110) n++ } END { print n + 0 }'; }
count_red() { pixels "$@" | awk '$3 > 200 && $4 < 60 && $5 < 60 { n++ } END { print n + 0 }'; }
count_nonwhite() { pixels "$@" | awk '$3 < 250 || $4 < 250 || $5 < 250 { n++ } END { print n + 0 }'; }
# Bands of pixel lines holding dark pixels: one per row of text.
count_text_rows() {
    pixels "$@" | awk '{ m = $3; if ($4 > m) m = $4; if ($5 > m) m = $5; if (m < 110) dark[$2] = 1 }
                       END { for (y = 0; y <= 2000; y++) { if ((y in dark) && !(y - 1 in dark)) n++ } print n + 0 }'
}

# The parts of the list, the term box and the definition view that lie inside their frames.
list_rest=("$((list_x + 2))" "$((list_y + below_first_row))" "$((list_w - 4))" "$((list_h - below_first_row - 2))")
term_box=("$((term_x + 3))" "$((term_y + 3))" "$((term_w - 6))" "$((term_h - 6))")
def_view=("$((def_x + 2))" "$((def_y + 2))" "$((def_w - 4))" "$((def_h - 4))")

shot() { import -window root "$artefacts/$1"; }

# Waits, with a generous limit, until a test on a fresh screenshot holds; the caller checks again.
wait_for_shot() { # file limit_seconds test...
    local file=$1 limit=$2 since=$SECONDS
    shift 2
    while :; do
        app_alive
        shot "$file"
        "$@" && return 0
        [ $((SECONDS - since)) -ge "$limit" ] && return 1
        sleep 0.3
    done
}

list_has_rows() { [ "$(count_text_rows "$artefacts/$1" "${list_rest[@]}")" -ge 4 ]; }
list_is_one_row() { [ "$(count_dark "$artefacts/$1" "${list_rest[@]}")" -eq 0 ]; }
definition_marked() { [ "$(count_red "$artefacts/$1" "${def_view[@]}")" -gt 0 ]; }

wait_for_shot 01-start.png 10 list_has_rows 01-start.png || true
rows_before=$(count_text_rows "$artefacts/01-start.png" "${list_rest[@]}")
term_before=$(count_dark "$artefacts/01-start.png" "${term_box[@]}")
red_before=$(count_red "$artefacts/01-start.png" "${def_view[@]}")
echo "at start: $rows_before rows of text below the list's first row, term box $term_before dark px, definition $red_before red px"
[ "$rows_before" -ge 4 ] || fail "at start the list shows $rows_before rows below its first one; the glossary has 7 terms"
[ "$term_before" -eq 0 ] || fail "at start the term box is not empty ($term_before dark pixels)"
[ "$red_before" -eq 0 ] || fail "at start the definition view shows $red_before red pixels"

# A window manager would give the new window the focus; here the script does, so the keys reach it.
xdotool windowfocus --sync "$win"
xdotool mousemove --sync $((ox + search_x + search_w / 2)) $((oy + search_y + search_h / 2)) click 1
xdotool type --delay 120 "$search"
wait_for_shot 02-searched.png 10 list_is_one_row 02-searched.png ||
    fail "after typing '$search' the list still shows $(count_dark "$artefacts/02-searched.png" "${list_rest[@]}") dark pixels below its first row"

xdotool mousemove --sync $((ox + list_x + 60)) $((oy + list_y + 7)) click 1
wait_for_shot 03-selected.png 10 definition_marked 03-selected.png || true
cp "$artefacts/03-selected.png" "$artefacts/e2e_window.png"

# 4. What the window shows after the selection.
red=$(count_red "$artefacts/e2e_window.png" "${def_view[@]}")
list_dark=$(count_dark "$artefacts/e2e_window.png" "${list_rest[@]}")
list_other=$(count_nonwhite "$artefacts/e2e_window.png" "${list_rest[@]}")
term_dark=$(count_dark "$artefacts/e2e_window.png" "${term_box[@]}")
term_red=$(count_red "$artefacts/e2e_window.png" "${term_box[@]}")
echo "after search and selection: definition $red red px; list below its first row $list_dark dark px," \
    "$list_other not white; term box $term_dark dark px, $term_red red px"
[ "$red" -gt 0 ] || fail "the definition view shows no red text: the searched word is not marked"
[ "$list_dark" -eq 0 ] || fail "the list shows more than one row after the search ($list_dark dark pixels below its first row)"
[ "$term_dark" -gt 0 ] || fail "the term box shows no text after the selection"
[ "$term_red" -eq 0 ] || fail "the term box shows $term_red red pixels; the term is never marked"

# 5. Closing: the window hides, the splash shows until the timer's next tick, the program ends.
python3 "$source/tests/e2e/close_window.py" "$win" || fail "could not send WM_DELETE_WINDOW"
start=$SECONDS
splash_seen=no
while kill -0 "$app_pid" 2>/dev/null && [ $((SECONDS - start)) -lt 15 ]; do
    xdotool search --onlyvisible --name '^Form2$' >/dev/null 2>&1 && splash_seen=yes
    sleep 0.1
done
kill -0 "$app_pid" 2>/dev/null && fail "the program did not end within 15 s of closing its window"
status=0
wait "$app_pid" || status=$?
app_pid=''
echo "closed: the program ended after about $((SECONDS - start)) s with status $status (splash seen: $splash_seen)"
[ "$status" -eq 0 ] || fail "the program ended with status $status: $(cat "$work/zorvane.log")"
echo "E2E PASSED; screenshots in $artefacts"
