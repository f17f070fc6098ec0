#!/usr/bin/env bash
# kelvara-cli.exe under Wine, on the real Win32 calls with nothing emulated by us: a card image
# made Wine's removable drive E: is read through \\.\E: and must give back what the Linux build
# gives for the same image, byte for byte.
#
#   tests/windows/card_under_wine.sh WINDOWS_CLI LINUX_BIN SCRATCH
#
# WINEPREFIX must name a booted prefix of its own: E: and the registry are changed in it.
# LINUX_BIN holds the Linux kelvara-cli and kelvara-make-demo-card.
set -euo pipefail
exe=$1 linux=$2 work=$3

fail() { echo "FAIL: $*" >&2; exit 1; }
wine_path() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }
# Wine's console writes CRLF; the Linux build writes LF.
windows_cli() { wine "$exe" "$@" | tr -d '\r'; }

rm -rf "$work"
mkdir -p "$work/e-folder"

# A removable drive as Wine has one: e:: is the raw device (our image), e: the folder it is
# mounted on, and the registry gives its type, which Wine reads when its server starts.
ln -sfn "$work/e-folder" "$WINEPREFIX/dosdevices/e:"
wine reg add 'HKLM\Software\Wine\Drives' /v e: /t REG_SZ /d floppy /f >/dev/null
wineserver -k 2>/dev/null || true
wineserver -w
attach() { ln -sfn "$1" "$WINEPREFIX/dosdevices/e::"; }

# --- a card whose photos were copied and deleted ---------------------------------------------
card=$work/card.img
"$linux/kelvara-make-demo-card" "$card" 12 >/dev/null 2>&1 || fail "cannot make the card image"
attach "$card"

drives=$(windows_cli drives)
grep -q $'^E:\\\\\tremovable\t' <<<"$drives" || fail "E:\\ is not listed as removable:"$'\n'"$drives"

# Wine's GetDiskFreeSpaceA answers for the folder e: links to, not for the image, so both
# sides are given the card's own count: what the Linux build reads from its boot sector.
sectors=$("$linux/kelvara-cli" drives "$card" 2>/dev/null | awk -F'\t' '$2 == "removable" { print $3; exit }')
[[ $sectors =~ ^[1-9][0-9]*$ ]] || fail "no sector count for the card: '$sectors'"

linux_scan=$("$linux/kelvara-cli" scan "$card" --sectors "$sectors" --quiet)
wine_scan=$(windows_cli scan E: --sectors "$sectors" --quiet)
[ "$wine_scan" = "$linux_scan" ] || fail "scans differ:"$'\n'"$(diff <(echo "$linux_scan") <(echo "$wine_scan"))"
grep -q "found 12 Files" <<<"$wine_scan" || fail "the scan did not find the 12 photos: $wine_scan"

"$linux/kelvara-cli" save "$card" "$work/linux-saved" --sectors "$sectors" --quiet >/dev/null
windows_cli save E: "$(wine_path "$work/wine-saved")" --sectors "$sectors" --quiet >/dev/null
[ "$(ls "$work/wine-saved" | wc -l)" -eq 12 ] || fail "Wine saved $(ls "$work/wine-saved" | wc -l) files, not 12"
diff -r "$work/linux-saved" "$work/wine-saved" >&2 || fail "the saved photos differ"

windows_cli image E: "$(wine_path "$work/wine-image")" --sectors "$sectors" --quiet >/dev/null
cmp -n $((sectors * 512)) "$card" "$work/wine-image/TOBRN.IMG" >&2 || fail "the disk image differs from the card"
[ "$(stat -c %s "$work/wine-image/TOBRN.IMG")" -eq $((sectors * 512)) ] || fail "the disk image has the wrong size"
echo "card: $sectors sectors, 12 photos scanned and saved as on Linux, disk image equal"

# --- a photo past 2 GiB: the move to the first sector needs its high 32 bits -----------------
big=$work/big.img
photos=("$work/linux-saved"/*.JPG)
photo=${photos[0]}
big_sectors=$((3 * 1024 * 1024 * 2))  # 3 GiB, sparse
at=$((5 * 1024 * 1024))               # 2.5 GiB
truncate -s $((big_sectors * 512)) "$big"
dd if="$photo" of="$big" bs=512 seek=$at conv=notrunc status=none
attach "$big"

big_scan=$(windows_cli scan E: --sectors "$big_sectors" --quiet)
[ "$(head -1 <<<"$big_scan")" = "$(printf 'Image001.JPG\t%d\t%d' $at $big_sectors)" ] \
    || fail "the photo at 2.5 GiB was not found where it lies: $big_scan"
windows_cli save E: "$(wine_path "$work/big-saved")" --sectors "$big_sectors" --quiet >/dev/null
[ "$(ls "$work/big-saved")" = Image001.JPG ] || fail "saved from the big image: $(ls "$work/big-saved")"
cmp "$photo" "$work/big-saved/Image001.JPG" >&2 || fail "the photo saved from 2.5 GiB differs"
echo "3 GiB image: the photo at sector $at found and saved byte for byte"

# A card in use: photos written into the holes of deleted ones come back whole from their pieces,
# the same as on Linux (the JPEG joins are judged by the same decoder).
pieced=$work/pieces.img
"$linux/kelvara-make-demo-card" --in-pieces "$pieced" 40 >/dev/null 2>&1 || fail "cannot make the card in pieces"
attach "$pieced"
psectors=$("$linux/kelvara-cli" drives "$pieced" 2>/dev/null | awk -F'\t' '$2 == "removable" { print $3; exit }')
linux_pieces=$("$linux/kelvara-cli" save "$pieced" "$work/linux-pieces" --sectors "$psectors" --quiet 2>&1 >/dev/null |
    grep "put back together from pieces" || true)
wine_pieces=$(wine "$exe" save E: "$(wine_path "$work/wine-pieces")" --sectors "$psectors" --quiet 2>&1 >/dev/null |
    tr -d '\r' | grep "put back together from pieces" || true)
[ -n "$linux_pieces" ] || fail "Linux put no photo back together from pieces"
[ "$wine_pieces" = "$linux_pieces" ] || fail "pieces: Linux said '$linux_pieces', Wine '$wine_pieces'"
diff -r "$work/linux-pieces" "$work/wine-pieces" >&2 || fail "the photos saved from the card in pieces differ"
linux_pieces=${linux_pieces#kelvara-cli: }
echo "card in pieces: ${linux_pieces%.}, the same files as on Linux"

rm -f "$big" "$card" "$pieced"
