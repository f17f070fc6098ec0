#!/usr/bin/env bash
# kelvara.exe, the Win32 window, under Wine on an X server of its own with openbox: a driver
# program works it through window messages and control IDs (a card's drive, Scan, the list
# against kelvara-cli.exe's, a preview, Save All against kelvara-cli.exe save, Options, About,
# Help, Image Disk, Disk Wipe on a copy, closing mid-scan), and xdotool types and clicks as a
# person does (focus, typing, Enter, the scan's summary with About open, 38 Down presses, a GIF
# enlarged, a card put in while running and its HEIC photo, Alt+F4). With INSTALLER, that installer is run silently,
# the installed program started, and the uninstaller run. A failed check keeps a screenshot.
#
#   tests/windows/window_under_wine.sh WINDOWS_BIN LINUX_BIN SCRATCH [INSTALLER]
#
# WINEPREFIX must name a booted prefix of its own: E:, F: and the registry are changed in it.
# LINUX_BIN holds the Linux kelvara-make-demo-card. KELVARA_WINDOWS_HEIF_DECODER=ON or OFF says
# whether the build decodes HEIC (the preview is compared with Linux's, or must not be made).
# Prints one line and passes when the tools or the rights it needs are missing.
set -euo pipefail
bin=$1 linux=$2 work=$3 installer=${4:-}

skip() { echo "window under Wine skipped: $*"; exit 0; }
for tool in Xvfb openbox xdotool xprop; do command -v "$tool" >/dev/null || skip "$tool is not installed"; done
# Wine gives a drive the size of the file system its folder is on: the card's drive is a folder
# on a tmpfs of the card's size, and mounting one needs root.
[ "$(id -u)" -eq 0 ] || skip "the card's drive needs a tmpfs mount of the card's size, and only root mounts one"

wine_path() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }
failed=0
# A failed check says so and keeps a picture of the screen as it was.
fail() {
    failed=$((failed + 1))
    echo "FAIL: $*" >&2
    timeout 60 wine "$bin/kelvara-window-driver.exe" shot "$(wine_path "$work/shots/failed-script-$failed.bmp")" >/dev/null 2>&1 || true
}
rm -rf "$work"
mkdir -p "$work/shots" "$work/e-folder" "$work/f-folder" "$work/big-folder"
mounts=()
pids=()
cleanup() {
    wineserver -k 2>/dev/null || true
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for mount in "${mounts[@]}"; do umount "$mount" 2>/dev/null || true; done
}
trap cleanup EXIT

# --- an X server of its own, the display number as it says it ---------------------------------
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || skip "Xvfb did not start (see $work/xvfb.log)"
export DISPLAY=:$(head -1 "$work/display")
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
sleep 0.5

driver() { timeout 60 wine "$bin/kelvara-window-driver.exe" "$@" 2>/dev/null | tr -d '\r'; }
shots=$(wine_path "$work/shots")

# --- the card: Wine's removable drive E:, its raw volume the image ------------------------------
card=$work/card.img
"$linux/kelvara-make-demo-card" "$card" 45 >/dev/null 2>&1 || { echo "FAIL: cannot make the card image"; exit 1; }
mount -t tmpfs -o size="$(stat -c %s "$card")" kelvara-card "$work/e-folder" && mounts+=("$work/e-folder")
ln -sfn "$work/e-folder" "$WINEPREFIX/dosdevices/e:"
ln -sfn "$card" "$WINEPREFIX/dosdevices/e::"
wine reg add 'HKLM\Software\Wine\Drives' /v e: /t REG_SZ /d floppy /f >/dev/null 2>&1
wineserver -k 2>/dev/null || true
wineserver -w

timeout 120 wine "$bin/kelvara-cli.exe" scan E: --quiet 2>/dev/null | tr -d '\r' >"$work/cli-scan.txt"
timeout 120 wine "$bin/kelvara-cli.exe" save E: "$(wine_path "$work/cli-saved")" --quiet >/dev/null 2>&1
sectors=$(($(stat -c %s "$card") / 512))
grep -q "found 45 Files" "$work/cli-scan.txt" || { echo "FAIL: kelvara-cli.exe found no card on E:"; exit 1; }

# --- the tour through every window ---------------------------------------------------------------
out=$WINEPREFIX/drive_c/KelvaraOut
rm -rf "$out"
# Only what failed is shown here; the whole account is in the logs.
quiet() { grep -v -e '^ok' -e ' 0 failed$' || true; }
driver tour "$(wine_path "$bin/kelvara.exe")" 'E:\' "$(wine_path "$work/cli-scan.txt")" \
    "$(wine_path "$work/cli-saved")" 'C:' "$shots" | tee "$work/tour.log" | quiet
grep -q ' 0 failed$' "$work/tour.log" || fail "the tour through the window"
cmp -s -n $((sectors * 512)) "$card" "$out/TOBRN.IMG" && [ "$(stat -c %s "$out/TOBRN.IMG")" -eq $((sectors * 512)) ] ||
    fail "TOBRN.IMG is not the card's $sectors sectors"

# --- Disk Wipe on a copy of a camera's folders in the card's drive -------------------------------
mkdir -p "$work/e-folder/DCIM"
cp "$work/cli-saved/Image001.JPG" "$work/e-folder/DCIM/"
cp "$work/cli-saved/Image002.JPG" "$work/cli-saved/Image003.JPG" "$work/e-folder/"
driver wipe "$(wine_path "$bin/kelvara.exe")" 'E:\' "$shots" | tee "$work/wipe.log" | quiet
grep -q ' 0 failed$' "$work/wipe.log" || fail "Disk Wipe through the window"
[ "$(ls "$work/e-folder")" = "$(printf 'DCIM\nWipe.img')" ] || fail "after the wipe the root holds: $(ls "$work/e-folder" | tr '\n' ' ')"
cmp -s "$work/cli-saved/Image001.JPG" "$work/e-folder/DCIM/Image001.JPG" || fail "the wipe touched a photo in a folder"
[ "$(head -c 513 "$work/e-folder/Wipe.img" | od -An -v -tx1 | tr -d ' \n')" = "$(printf 'ff%.0s' $(seq 511))0000" ] ||
    fail "Wipe.img does not start with 511 bytes of FF and two of 00"
[ "$(df --output=avail -B1 "$work/e-folder" | tail -1)" -lt 4096 ] || fail "the wipe left free space on the drive"
echo "window: the tour and Disk Wipe on a copy, $(grep -c '^ok' "$work/tour.log" "$work/wipe.log" | awk -F: '{ n += $2 } END { print n }') checks"

# --- as a person: the keys and the mouse through the window system -------------------------------
xdo() { timeout 30 xdotool "$@"; }
timeout 120 wine "$bin/kelvara.exe" >/dev/null 2>&1 &
kelvara=$!
main=$(xdo search --sync --name '^Kelvara - Tobrin$' | head -1)
xdo windowactivate --sync "$main"
sleep 0.5
[ "$(driver focus 'Kelvara - Tobrin')" = 120 ] || fail "the drive list does not have the focus at start"
xdo key Down  # the first drive after "Select Drive"
sleep 0.5
[ "$(driver text 'Kelvara - Tobrin' 126)" = "$sectors" ] || fail "the Down key did not choose E:\\ in the drive list"
read -r x y < <(driver button 'Kelvara - Tobrin' 5)
xdo mousemove "$x" "$y" click 1
options=$(xdo search --sync --name '^Options$' | head -1)
xdo windowactivate --sync "$options"
sleep 0.3
[ "$(driver focus Options)" = 202 ] || fail "Options does not open on OK"
xdo key Tab Tab
[ "$(driver focus Options)" = 201 ] || fail "Tab, Tab does not reach the prefix box"
xdo type --delay 30 Holiday
[ "$(driver text Options 201)" = Holiday ] || fail "typing does not reach the prefix box"
xdo key Return
for _ in $(seq 50); do xdotool search --onlyvisible --name '^Options$' >/dev/null 2>&1 || break; sleep 0.1; done
xdotool search --onlyvisible --name '^Options$' >/dev/null 2>&1 && fail "Enter does not close Options"
# About open and active when the scan ends (Scan pressed by a message, which leaves About
# active): the summary stands in front of both, centred on the main window that owns it, as
# small as its text.
read -r x y < <(driver button 'Kelvara - Tobrin' 9)
xdo mousemove "$x" "$y" click 1
about=$(xdo search --sync --name '^About Kelvara$' | head -1)
xdo windowactivate --sync "$about"
driver press 'Kelvara - Tobrin' 103
summary=$(xdo search --sync --name '^Scan Complete$' | head -1)
sleep 0.5
place=$(driver box 'Scan Complete')
[[ "$place" =~ ^owner=Kelvara\ -\ Tobrin\ offset=-?[0-2],-?[0-2]\ front=1\ size=([0-9]+)x([0-9]+)\ button=-?[0-2]$ ]] &&
    [ "${BASH_REMATCH[1]}" -lt 320 ] && [ "${BASH_REMATCH[2]}" -lt 160 ] ||
    fail "the scan's summary, with About open, is not in front of the main window and centred on it: $place"
# Wine's own order of its windows is not the screen's: the window manager stacks them.
stacking=$(xprop -root _NET_CLIENT_LIST_STACKING | tr -d ',' | tr ' ' '\n' | grep '^0x' | xargs -n1 printf '%d\n')
[ "$(echo "$stacking" | grep -n -x -e "$summary" -e "$about" | tail -1 | cut -d: -f2)" = "$summary" ] ||
    fail "the window manager stacks About over the scan's summary"
xdo windowactivate --sync "$summary"
xdo key Return
sleep 0.5
xdo windowactivate --sync "$about"
xdo key Return  # About's OK
[ "$(driver entry 'Kelvara - Tobrin' 123 0)" = Holiday001.JPG ] || fail "the prefix typed in Options did not name the scan's entries"
# A click on the entry above the newest (the list shows the newest after a scan) shows its photo:
# the preview file holds its bytes.
temp=$(dirname "$(find "$WINEPREFIX/drive_c/users" -name TB001.htm | head -1)")  # where the tour's preview went
read -r x y < <(driver item 'Kelvara - Tobrin' 123 43)
xdo mousemove "$x" "$y" click 1
for _ in $(seq 50); do cmp -s "$work/cli-saved/Image044.JPG" "$temp/TB.jpg" && break; sleep 0.1; done
cmp -s "$work/cli-saved/Image044.JPG" "$temp/TB.jpg" || fail "a click on an entry did not preview its photo"
# The keys move the selection and the list follows it: each entry is previewed as it comes, and
# the list must not scroll back to where the first key found it.
xdo key Home
sleep 0.5
xdo key --delay 30 $(printf 'Down %.0s' $(seq 38))
for _ in $(seq 50); do [ "$(driver text 'Kelvara - Tobrin' 133)" = Ready ] && break; sleep 0.1; done
sleep 0.5
read -r selected top rows < <(driver rows 'Kelvara - Tobrin' 123)
[ "$selected" = 38 ] && [ "$top" -le 38 ] && [ $((top + rows)) -gt 38 ] ||
    fail "after Home and 38 Down presses the list shows rows $top to $((top + rows - 1)), the selection at $selected"
cmp -s "$work/cli-saved/Image039.JPG" "$temp/TB.jpg" || fail "the 38th Down did not preview Image039"
# The newest entry, a small GIF, enlarged into the pane smoothly: more shades than a GIF can hold.
read -r x y < <(driver item 'Kelvara - Tobrin' 123 44)
xdo mousemove "$x" "$y" click 1
for _ in $(seq 50); do cmp -s "$work/cli-saved/Image045.GIF" "$temp/TB.jpg" && break; sleep 0.1; done
sleep 0.5
pane=$(driver pane)
[[ "$pane" =~ ^colours=([0-9]+) ]] && [ "${BASH_REMATCH[1]}" -gt 256 ] || fail "the GIF is enlarged without smoothing: $pane"

# A card put in while the window is open: Wine's mount manager makes it a removable drive, as
# its drive settings do, and the window hears of it as a drive's arrival (Wine tells only its own
# desktop's windows, so the driver says it as Windows does). The chosen drive stays chosen.
heic=$work/heic.img
ffmpeg -v error -y -f lavfi -i testsrc=size=320x240 -frames:v 1 "$work/heic-source.jpg" &&
    heif-enc -q 60 "$work/heic-source.jpg" -o "$work/photo.heic" >/dev/null && cp "$work/photo.heic" "$heic" &&
    ffmpeg -v error -y -i "$work/heic-source.jpg" "$work/photo.tif" &&
    dd if="$work/photo.tif" of="$heic" bs=512 seek=1024 conv=notrunc status=none &&
    truncate -s 1M "$heic" || fail "cannot make the HEIC card (ffmpeg, heif-enc)"
mount -t tmpfs -o size=1m kelvara-heic "$work/f-folder" && mounts+=("$work/f-folder")
driver add-drive F "$work/f-folder" "$heic" || fail "Wine's mount manager did not add drive F:"
driver drives-changed 'Kelvara - Tobrin'
[ "$(driver combo 'Kelvara - Tobrin' 120 | tr '\n' ' ')" = 'Select Drive *E:\ F:\ ' ] ||
    fail "the drive list after a card came: $(driver combo 'Kelvara - Tobrin' 120 | tr '\n' ' ')"
# Its phone photo previewed: libheif's decoding as on Linux (heif-convert there), within what two
# JPEG encodings of the same pixels differ by.
driver choose 'Kelvara - Tobrin' 120 'F:\'
sleep 0.5
read -r x y < <(driver button 'Kelvara - Tobrin' 3)
xdo mousemove "$x" "$y" click 1
summary=$(xdo search --sync --name '^Scan Complete$' | head -1)
xdo windowactivate --sync "$summary"
xdo key Return
sleep 0.5
rm -f "$temp/TB.jpg"
read -r x y < <(driver item 'Kelvara - Tobrin' 123 0)
xdo mousemove "$x" "$y" click 1
for _ in $(seq 100); do [ -s "$temp/TB.jpg" ] && [ "$(driver text 'Kelvara - Tobrin' 133)" = Ready ] && break; sleep 0.1; done
heif-convert -q 90 "$work/photo.heic" "$work/heic-linux.jpg" >/dev/null 2>&1 || fail "heif-convert cannot decode the HEIC photo"
pixels() { ffmpeg -v error -i "$1" -f rawvideo -pix_fmt rgb24 - 2>/dev/null; }
difference=$(python3 -c '
import sys
a, b = open(sys.argv[1], "rb").read(), open(sys.argv[2], "rb").read()
print(round(sum(abs(x - y) for x, y in zip(a, b)) / len(a), 2) if a and len(a) == len(b) else "sizes differ")
' <(pixels "$temp/TB.jpg") <(pixels "$work/heic-linux.jpg") 2>/dev/null || echo none)
if [ "${KELVARA_WINDOWS_HEIF_DECODER:-}" = ON ]; then
    python3 -c "import sys; sys.exit(0 if float(sys.argv[1]) < 2 else 1)" "$difference" 2>/dev/null ||
        fail "the HEIC preview differs from libheif's decoding on Linux: $difference a pixel's channel on average"
    echo "window: a card put in while running listed, its HEIC photo previewed ($difference from Linux's decoding)"
elif [ "${KELVARA_WINDOWS_HEIF_DECODER:-}" = OFF ]; then
    [ ! -s "$temp/TB.jpg" ] || fail "a build without a HEIC decoder wrote a HEIC preview"
fi
# Its TIFF, which carries no preview: the pane's words lie inside the pane.
read -r x y < <(driver item 'Kelvara - Tobrin' 123 1)
xdo mousemove "$x" "$y" click 1
for _ in $(seq 50); do [[ "$(driver pane)" == *words=inside ]] && break; sleep 0.1; done
[[ "$(driver pane)" == *words=inside ]] || fail "the words about a TIFF lie outside the pane: $(driver pane)"
xdo windowactivate --sync "$main"
xdo key alt+F4
for _ in $(seq 150); do kill -0 "$kelvara" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$kelvara" 2>/dev/null; then
    fail "Alt+F4 does not end the program"
    kill "$kelvara" 2>/dev/null || true
fi
[ "$failed" -eq 0 ] && echo "window: focus, typing, Enter, clicks and Alt+F4 through xdotool"

# --- closing the window while a scan of a large card runs ----------------------------------------
big=$work/big.img
truncate -s 4G "$big"
mount -t tmpfs -o size=4g kelvara-big "$work/big-folder" && mounts+=("$work/big-folder")
ln -sfn "$work/big-folder" "$WINEPREFIX/dosdevices/e:"
ln -sfn "$big" "$WINEPREFIX/dosdevices/e::"
driver close-mid-scan "$(wine_path "$bin/kelvara.exe")" 'E:\' "$shots" | tee "$work/close.log" | quiet
grep -q ' 0 failed$' "$work/close.log" || fail "closing the window mid-scan"
grep 'ended before' "$work/close.log" | sed 's/^ok    /window: closed mid-scan, /'
rm -f "$big"

# --- the installer, as a silent install, then the installed program, then the uninstaller -------
if [ -n "$installer" ]; then
    installed="$WINEPREFIX/drive_c/Program Files/Kelvara"
    timeout 120 wine "$installer" /S >/dev/null 2>&1 || true
    wineserver -w
    for file in kelvara.exe kelvara-cli.exe Uninstall.exe help/quickstart.htm help/scan.png; do
        [ -f "$installed/$file" ] || fail "the installer did not install $file"
    done
    menu=$(find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/Kelvara/Kelvara.lnk' | head -1)
    [ -n "$menu" ] || fail "the installer made no Start-menu entry"
    driver start 'C:\Program Files\Kelvara\kelvara.exe' "$shots" | tee "$work/installed.log" | quiet
    grep -q ' 0 failed$' "$work/installed.log" || fail "the installed program"
    timeout 120 wine "C:\\Program Files\\Kelvara\\Uninstall.exe" /S >/dev/null 2>&1 || true
    wineserver -w
    [ ! -e "$installed/kelvara.exe" ] || fail "the uninstaller left kelvara.exe"
    [ -z "$(find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/Kelvara/*.lnk')" ] || fail "the uninstaller left the Start-menu entries"
    [ "$failed" -eq 0 ] && echo "installer: $(basename "$installer") installed silently, the program started, uninstalled"
fi

if [ "$failed" -ne 0 ]; then
    for shot in "$work"/shots/failed-*.bmp; do [ -e "$shot" ] && echo "kept: $shot"; done
    exit 1
fi
exit 0
