#!/usr/bin/env bash
# The yw_selftest option under Wine: it runs every check and ends with a
# message box, writes its report beside the program (not into the current
# folder), passes what Wine can run, says NOT RUN for the browser's page
# (Wine's browser control runs no script), exits non-zero for it, and
# leaves nothing behind: no install, no shortcut, no wz_cdn, no temporary
# copies. A report that cannot be written is said so, with a non-zero exit;
# without a temporary folder every line is still there, the ones that need
# it not reached.
source "$(dirname "$0")/lib.sh"
e2e_screen
e2e_prefix
e2e_unmanaged_windows
dir=$(e2e_install "Games/Self Test 自测")
elsewhere="$WINEPREFIX/drive_c/elsewhere"
mkdir -p "$elsewhere"
report="$dir/yw_test/selftest.txt"

# Every file of drive C: but Wine's own system folder and the caches the
# system keeps for every program (the browser control's among them).
files_of_c() {
  (cd "$WINEPREFIX/drive_c" && find . -path ./windows -prune -o -print) |
    grep -v -E 'Temporary Internet Files|INetCache|INetCookies|/Cookies|/History|IECompatCache|/Local Settings/Application Data/Microsoft' |
    sort
}
files_of_c > "$WINEPREFIX/before.txt"

# run_selftest: runs the option from another current folder, answers the
# message box at its end (its text in `box`) and leaves the exit code in
# E2E_RC. The game window, once made, must never be shown: its state is
# sampled meanwhile into `states` ("window 0" hidden, "window 1" shown).
states="$WINEPREFIX/window-states.txt"
run_selftest() {
  local began=$SECONDS prog sampler
  (cd "$elsewhere" && exec timeout 120 "$E2E_WINE" 'C:\Games\Self Test 自测\Kestrun.exe' yw_selftest) &
  prog=$!
  : > "$states"
  (while kill -0 "$prog" 2>/dev/null; do
     winctl info OrvikVelmora 2>/dev/null | tr -d '\r' | grep '^window ' | cut -c1-8 >> "$states"
     sleep 0.3
   done) &
  sampler=$!
  box=
  while [ -z "$box" ] && kill -0 "$prog" 2>/dev/null; do
    box=$(winctl answer 2>/dev/null | tr -d '\r')
  done
  wait "$prog"
  E2E_RC=$?
  wait "$sampler"
  echo "the self-test ran for about $((SECONDS - began)) s"
  timeout 30 /usr/lib/wine/wineserver -w
}

run_selftest
files_of_c > "$WINEPREFIX/after.txt"

echo "--- message box"; echo "$box"
echo "--- report"; tr -d '\r' < "$report" 2>/dev/null
# line NAME: the report's line of one check.
line() { tr -d '\r' < "$report" | grep "^$1: "; }
outcome() { line "$1" | sed -E "s/^$1: (PASS|FAIL|NOT RUN)(: .*)?$/\1/"; }

check "a message box sums it up and names the report" \
  bash -c '[[ "$1" == *"passed"*"failed"*"not run"* && "$1" == *'"'"'C:\Games\Self Test 自测\yw_test\selftest.txt'"'"'* ]]' _ "$box"
check "the report is beside the program" [ -s "$report" ]
check "the game window was there, hidden" grep -q '^window 0' "$states"
check "the game window was never shown" bash -c "! grep -q '^window 1' '$states'"
check "nothing in the current folder" [ -z "$(ls -A "$elsewhere")" ]
check "the report is UTF-8 with a byte-order mark" bash -c "head -c 3 '$report' | od -An -tx1 | grep -q 'ef bb bf'"

all=(system.windows system.word_size system.common_controls system.dpi signatures.good signatures.changed
     swap.rename swap.cleanup cache.miss cache.hit browser.window browser.page_script
     browser.document_mode browser.user_agent browser.localhost_url browser.title_change browser.ui_handler
     browser.trusted_page pictures.bmp selftest.cleanup)
listed=0
for name in "${all[@]}"; do line "$name" > /dev/null && listed=$((listed + 1)); done
check "every check has its line (${listed} of ${#all[@]})" [ "$listed" = "${#all[@]}" ]
check "no line beyond the checks and the counts" \
  [ "$(tr -d '\r' < "$report" | sed 1d | grep -c -v -E '^result: ')" = "${#all[@]}" ]

wine_runs=(system.windows system.word_size system.common_controls system.dpi signatures.good signatures.changed
           swap.rename swap.cleanup cache.miss cache.hit browser.window pictures.bmp selftest.cleanup)
for name in "${wine_runs[@]}"; do
  check "$name passes" [ "$(outcome "$name")" = PASS ]
done
check "the system line says it is Wine" bash -c "tr -d '\r' < '$report' | grep -q '^system.windows: PASS: Windows .*(Wine '"
check "the page's script did not report, with that reason" \
  bash -c "tr -d '\r' < '$report' | grep -q \"^browser.page_script: NOT RUN: the page's script did not report\""
for name in browser.document_mode browser.user_agent browser.localhost_url browser.title_change \
            browser.ui_handler browser.trusted_page; do
  check "$name is not run" [ "$(outcome "$name")" = "NOT RUN" ]
done
check "the browser asked the cache server for the page" \
  bash -c "tr -d '\r' < '$report' | grep -q '^browser.page_script: .*served through the cache server'"
check "the miss line says https was not checked" bash -c "tr -d '\r' < '$report' | grep -q '^cache.miss: PASS: .*https is not checked'"
check "no check failed" [ "$(tr -d '\r' < "$report" | grep -c ': FAIL')" = 0 ]
check "the counts close the report" \
  bash -c "tr -d '\r' < '$report' | tail -n 1 | grep -qx 'result: 13 passed, 0 failed, 7 not run'"
check "the exit code says not every check passed" [ "$E2E_RC" = 1 ]

new=$(comm -13 "$WINEPREFIX/before.txt" "$WINEPREFIX/after.txt")
echo "--- new on drive C:"; echo "$new"
check "nothing new but the report and its folder" \
  [ "$new" = "$(printf './Games/Self Test 自测/yw_test\n./Games/Self Test 自测/yw_test/selftest.txt')" ]
check "no wz_cdn anywhere" [ -z "$(find "$WINEPREFIX/drive_c" -name wz_cdn)" ]
check "no shortcut" [ -z "$(find "$WINEPREFIX/drive_c/users" -iname '*.lnk' -newer "$WINEPREFIX/before.txt")" ]
check "no temporary copies" [ -z "$(find "$WINEPREFIX/drive_c" -name 'kestrun_selftest_*' -o -name 'Kestrun.exe.*')" ]
check "the program stayed where it was put, alone" \
  [ "$(find "$WINEPREFIX/drive_c" -path "$WINEPREFIX/drive_c/windows" -prune -o -iname 'Kestrun*.exe' -print)" = "$dir/Kestrun.exe" ]

# A report that cannot be written: yw_test is a file. The box says so and
# the run does not pass, whatever the checks found.
rm -rf "$dir/yw_test"
echo "not a folder" > "$dir/yw_test"
run_selftest
echo "--- message box"; echo "$box"
check "an unwritable report is named in the box" bash -c '[[ "$1" == *"could not be written"* ]]' _ "$box"
check "an unwritable report fails the run" [ "$E2E_RC" = 1 ]
check "nothing written in its place" [ "$(cat "$dir/yw_test")" = "not a folder" ]

# No temporary folder to work in: TEMP names a file.
rm -f "$dir/yw_test"
echo "not a folder" > "$WINEPREFIX/drive_c/notemp"
for v in TEMP TMP; do "$E2E_WINE" reg add 'HKCU\Environment' /v $v /d 'C:\notemp' /f > /dev/null 2>&1; done
/usr/lib/wine/wineserver -w
run_selftest
echo "--- report without a temporary folder"; tr -d '\r' < "$report" 2>/dev/null
listed=0
for name in "${all[@]}"; do line "$name" > /dev/null && listed=$((listed + 1)); done
check "without a temporary folder every check still has its line" [ "$listed" = "${#all[@]}" ]
check "the folder's failure is named" bash -c "tr -d '\r' < '$report' | grep -q '^selftest.cleanup: FAIL: no folder'"
check "what needs it is not reached" [ "$(outcome pictures.bmp)" = "NOT RUN" ]
check "and says why" bash -c "tr -d '\r' < '$report' | grep -q '^swap.rename: NOT RUN: not reached: selftest.cleanup failed'"
check "the signatures were still checked" [ "$(outcome signatures.good)" = PASS ]
check "the run fails" [ "$E2E_RC" = 1 ]

e2e_done
