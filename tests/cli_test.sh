#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The `tevrin` command line end to end: pack from options and from a
# manifest, inspect as text and JSON, and errors that exit non-zero with the
# system's message.
#   cli_test.sh SAMPLES_DIR TEVRIN [RUNNER]   (RUNNER: e.g. scripts/wine-run)
set -uo pipefail
samples=$(cd "$1" && pwd)
tool=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
runner=${3:-}
[ -z "$runner" ] || [ ! -e "$runner" ] || runner=$(cd "$(dirname "$runner")" && pwd)/$(basename "$runner")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$samples/05-plasma.jpg" "$samples/02-lighthouse.jpg" "$samples/melody.wav" .
printf 'MZ stub' > stub.bin

passed=0
failed=0
tevrin() { $runner "$tool" "$@" 2>err.txt | tr -d '\r'; return "${PIPESTATUS[0]}"; }
check() {  # check NAME CONDITION...
    local name=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $name"
        sed 's/^/  stderr: /' err.txt
    fi
}
contains() { grep -qF -- "$2" <<<"$1"; }

out=$(tevrin pack -q -o a.scr --stub stub.bin --title "Sea" --author Ann --interval 2500 \
    --font-color "#FF8000" --font-style bold,italic --random-style --sound-order repeat-one \
    --kind photo --sound melody.wav 05-plasma.jpg 02-lighthouse.jpg)
check "pack exits 0" test $? -eq 0
json=$(tevrin inspect --json a.scr)
check "inspect --json exits 0" test $? -eq 0
for want in '"Title": "Sea"' '"Interval": 2500' '"Color": 33023' '"fsBold"' '"fsItalic"' \
    '"lRandomStyle": true' '"SoundRandom": 3' '"Ver": "photo"' '"Width": 1080' \
    '"Height": 1620' '"SndFileNamesCommaList": [' '"melody.wav"' '"DataSha256": "'; do
    check "inspect --json shows $want" contains "$json" "$want"
done
check "a new saver runs a show on each monitor" contains "$json" '"MonitorMode": "mmEach"'
tevrin pack -q -o plain.scr --stub stub.bin 05-plasma.jpg >/dev/null
check "a new saver without --interval changes pictures every 5 s" \
    contains "$(tevrin inspect --json plain.scr)" '"Interval": 5000'
text=$(tevrin inspect a.scr)
check "inspect lists the portrait picture" contains "$text" "1080x1620"

cat > saver.json <<'JSON'
{ "title": "From manifest", "author": "M", "interval": 7000, "mute": true,
  "sound": ["melody.wav"], "pictures": ["05-plasma.jpg"], "stub": "stub.bin",
  "comment": "notes are kept out of the saver", "_made-by": { "hand": true } }
JSON
tevrin pack -q -o m.scr --manifest saver.json --title "Overridden" >/dev/null
check "pack from a manifest exits 0" test $? -eq 0
json=$(tevrin inspect --json m.scr)
check "the command line wins over the manifest" contains "$json" '"Title": "Overridden"'
check "the manifest's values count" contains "$json" '"Interval": 7000'
check "the manifest's flags count" contains "$json" '"lMute": true'

# Captions from a template: the photo's own date and title as exiftool wrote
# them, the file's time where the photo has no date.
cp 05-plasma.jpg dated.jpg
cp 02-lighthouse.jpg titled.jpg
cp 05-plasma.jpg bare.jpg
exiftool -q -overwrite_original -DateTimeOriginal="2024:08:12 14:03:00" dated.jpg
exiftool -q -overwrite_original -XMP-dc:Title="Lighthouse at Κρήτη" \
    -DateTimeOriginal="2021:03:09 08:00:00" titled.jpg
exiftool -q -overwrite_original -all= bare.jpg
touch -d "2023-01-05 10:00" bare.jpg
tevrin pack -q -o tpl.scr --stub stub.bin --caption "{n}/{count} {title} – {date} ({file})" \
    dated.jpg titled.jpg bare.jpg >/dev/null
check "pack with a caption template exits 0" test $? -eq 0
check "the template is resolved for each picture" contains "$(tevrin inspect --json tpl.scr)" \
    "$(printf '"CaptionCommaList": [\n      "1/3 – 12 August 2024 (dated)",\n      "2/3 Lighthouse at Κρήτη – 9 March 2021 (titled)",\n      "3/3 – 5 January 2023 (bare)"\n    ]')"
tevrin pack -q -o tpl2.scr --stub stub.bin --caption "{date}" --date-format "%a %d.%m.%Y" dated.jpg >/dev/null
check "--date-format writes the date its way" contains "$(tevrin inspect --json tpl2.scr)" '"Mon 12.08.2024"'
tevrin pack -q -o bad.scr --stub stub.bin --caption "{place}" dated.jpg >/dev/null
check "an unknown template field is refused" grep -q "Unknown field {place}" err.txt

# A colour profile that cannot be read is passed over with a warning that
# names the picture, which is packed as it was.
python3 - "$samples/05-plasma.jpg" badicc.jpg <<'PY'
import sys
jpeg = open(sys.argv[1], "rb").read()
chunk = b"ICC_PROFILE\x00\x01\x01" + b"\x5a" * 300
open(sys.argv[2], "wb").write(jpeg[:2] + b"\xff\xe2" + (len(chunk) + 2).to_bytes(2, "big") + chunk + jpeg[2:])
PY
tevrin pack -q -o badicc.scr --stub stub.bin badicc.jpg >/dev/null
check "a profile that cannot be read is passed over with a warning naming the picture" \
    grep -q "badicc.jpg: its colour profile cannot be read" err.txt
check "and the picture is packed as it was" \
    contains "$(tevrin inspect --json badicc.scr)" "\"DataLength\": $(stat -c %s badicc.jpg)"

# Pictures with their own captions and times; a repack keeps them.
cat > own.json <<'JSON'
{ "stub": "stub.bin", "shuffle": true, "transition-ms": 2000,
  "pictures": [ { "file": "05-plasma.jpg", "caption": "Our boat, at dawn", "seconds": 8 },
                "02-lighthouse.jpg",
                { "file": "05-plasma.jpg", "caption": "Ελληνικά" } ] }
JSON
tevrin pack -q -o own.scr --manifest own.json >/dev/null
check "pack with picture objects exits 0" test $? -eq 0
json=$(tevrin inspect --json own.scr)
check "each picture's caption is stored in picture order" contains "$json" \
    "$(printf '"CaptionCommaList": [\n      "Our boat, at dawn",\n      "",\n      "Ελληνικά"\n    ]')"
check "each picture's time is stored in milliseconds" contains "$json" \
    "$(printf '"IntervalCommaList": [\n      "8000",\n      "",\n      ""\n    ]')"
check "--shuffle takes pictures at random without repeats" contains "$json" '"lShuffle": true'
check "shuffled pictures are random pictures" contains "$json" '"lRandomPic": true'
check "the transition's length is stored" contains "$json" '"TransitionTime": 2000'
check "a new saver's caption is outlined" contains "$json" '"CaptionShadow": true'
check "a new saver's caption is white" contains "$json" '"Color": "clWhite"'
check "a new saver's caption face is on both systems" contains "$json" '"Name": "Arial"'
tevrin pack -q -o own2.scr --from own.scr --stub stub.bin --title "Again" >/dev/null
json=$(tevrin inspect --json own2.scr)
check "a repack keeps each picture's caption" contains "$json" '"Our boat, at dawn"'
check "a repack keeps each picture's time" contains "$json" '"8000"'
printf '{ "stub": "stub.bin", "pictures": [ { "file": "05-plasma.jpg", "secs": 8 } ] }' > bad.json
tevrin pack -q -o bad.scr --manifest bad.json >/dev/null
check "an unknown key of a picture is refused" grep -q 'unknown key "secs"' err.txt
printf '{ "stub": "stub.bin", "pictures": [ { "file": "05-plasma.jpg", "seconds": -1 } ] }' > bad.json
tevrin pack -q -o bad.scr --manifest bad.json >/dev/null
check "a picture's time below zero is refused" grep -q '"seconds" must be a number' err.txt
tevrin pack -q -o bad.scr --stub stub.bin --transition-ms 50 05-plasma.jpg >/dev/null
check "a transition shorter than 200 ms is refused" test $? -ne 0

# Texts in any language, through a manifest (UTF-8 JSON) and, where the
# system hands the tool UTF-8 arguments, the command line; pictures by folder.
mkdir -p pics/sub
cp 05-plasma.jpg pics/10.jpg
cp 02-lighthouse.jpg pics/2.jpg
cp 05-plasma.jpg pics/sub/1.jpg
printf 'notes' > pics/readme.txt
cat > texts.json <<'JSON'
{ "title": "Grüße", "text": "Café crème €5 Ελληνικά 日本語", "pictures": ["pics"], "stub": "stub.bin",
  "fit": "fill", "blur-borders": true }
JSON
tevrin pack -q -o u.scr --manifest texts.json >/dev/null
check "pack with UTF-8 texts exits 0" test $? -eq 0
json=$(tevrin inspect --json u.scr)
check "the title comes back as given" contains "$json" '"Title": "Grüße"'
check "the caption keeps every script" contains "$json" '"Text": "Café crème €5 Ελληνικά 日本語"'
check "the fit mode is stored" contains "$json" '"FitMode": "fmFill"'
check "the blurred borders are stored" contains "$json" '"BlurBorders": true'
check "a folder gives its pictures in natural order, without its other files" \
    contains "$json" "$(printf '"PicFileNamesCommaList": [\n      "2.jpg",\n      "10.jpg"\n    ]')"
text=$(tevrin inspect u.scr)
check "the text report shows the caption" contains "$text" "Café crème €5 Ελληνικά 日本語"
if [ -z "$runner" ]; then
    tevrin pack -q -o c.scr --stub stub.bin --text "Ωμέγα ✓" --recursive pics >/dev/null
    json=$(tevrin inspect --json c.scr)
    check "command-line texts are UTF-8" contains "$json" '"Text": "Ωμέγα ✓"'
    check "--recursive takes subfolders, after the folder's own pictures" \
        contains "$json" "$(printf '"10.jpg",\n      "1.jpg"')"
    check "a new saver shrinks large pictures by default" contains "$json" '"FitMode": "fmShrink"'
    tevrin pack -q -o bad.scr --stub stub.bin --title "$(printf 'bad \xE9 text')" 05-plasma.jpg >/dev/null
    check "a text that is not UTF-8 is refused" grep -q -- "--title is not UTF-8 text" err.txt
fi

# Phone and web pictures: HEIC and WebP, written here by ImageMagick.
if convert 02-lighthouse.jpg -resize 50% phone.heic 2>/dev/null && convert 05-plasma.jpg web.webp 2>/dev/null; then
    tevrin pack -q -o p.scr --stub stub.bin phone.heic web.webp >/dev/null
    check "pack reads HEIC and WebP" test $? -eq 0
    json=$(tevrin inspect --json p.scr)
    check "a HEIC picture is stored as JPEG at its size" contains "$json" '"Width": 540'
    check "a WebP picture too" contains "$json" '"Width": 640'
    exiftool -q -overwrite_original -DateTimeOriginal="2019:06:30 12:00:00" phone.heic web.webp
    tevrin pack -q -o pd.scr --stub stub.bin --caption "{date}" phone.heic web.webp >/dev/null
    check "a phone's HEIC and a WebP give their own dates" contains "$(tevrin inspect --json pd.scr)" \
        "$(printf '"CaptionCommaList": [\n      "30 June 2019",\n      "30 June 2019"\n    ]')"
else
    echo "skipped: this ImageMagick writes no HEIC or WebP"
fi

# Repacking: an existing saver's items and settings, the options given win.
tevrin pack -q -o r.scr --from a.scr --stub stub.bin --title "Renamed" --max-size 200x200 >/dev/null
check "pack --from exits 0" test $? -eq 0
json=$(tevrin inspect --json r.scr)
check "the new title" contains "$json" '"Title": "Renamed"'
check "the old interval" contains "$json" '"Interval": 2500'
check "the old sound" contains "$json" '"melody.wav"'
check "the old font" contains "$json" '"fsItalic"'
check "the old fit mode stays without --fit" contains "$json" '"FitMode": "fmShrink"'
check "the old monitor mode stays without --screens" contains "$json" '"MonitorMode": "mmEach"'
tevrin pack -q -o r2.scr --from a.scr --stub stub.bin --screens mirror >/dev/null
check "--screens mirror is stored" contains "$(tevrin inspect --json r2.scr)" '"MonitorMode": "mmMirror"'
check "pictures over --max-size are scaled to it" contains "$json" '"Height": 200'
check "keeping their shape" contains "$json" '"Width": 133'

tevrin pack -q -o sea-saver --stub stub.bin --title "Sea" --xscreensaver-config 05-plasma.jpg >/dev/null
check "pack --xscreensaver-config exits 0" test $? -eq 0
check "and writes the description beside the saver" grep -q '<screensaver name="sea-saver" _label="Sea">' sea-saver.xml

printf 'TPF0\x06TImage\x00\x00\x00' > empty.bin
json=$(tevrin inspect --json --stream empty.bin)
check "inspect --stream reads a picture record" contains "$json" '"Class": "TImage"'

printf 'not a saver, only forty-odd bytes of plain text here' > junk.bin
tevrin inspect junk.bin >/dev/null
check "a file without a record fails" test $? -ne 0
check "with the reader's message" grep -q "Invalid stream format" err.txt
printf 'TPF0\x07TWidget\x00\x00\x00' > widget.bin
tevrin inspect --stream widget.bin >/dev/null
check "an unregistered class fails" grep -q "Class TWidget not found" err.txt
tevrin pack -q -o bad.scr --stub stub.bin 05-plasma.jpg junk.bin >/dev/null
check "a picture that does not decode fails" test $? -ne 0
check "naming the file and the reason" grep -q "junk.bin: Not a picture" err.txt
check "and leaves no saver" test ! -e bad.scr

tevrin render --style 5 --progress 50 --from 02-lighthouse.jpg --to 05-plasma.jpg \
    --size 64x48 -o frame.png >/dev/null
check "render writes a frame" test "$(head -c 4 frame.png | od -An -c | tr -d ' ')" = "211PNG"
tevrin render --all --progress 30 --to 05-plasma.jpg --size 80x60 --seed 2 -o all.png >/dev/null
check "render --all writes a sheet" test -s all.png
version=$(tevrin --version)
check "--version prints the version" contains "$version" "tevrin 0."
tevrin --licenses >licenses.txt
check "--licenses prints our licence and the notices" \
    sh -c 'grep -q "MIT License" licenses.txt && grep -q "libheif" licenses.txt'
# Every style by number, name and family; the same names in pack's help and
# in the README's list.
tevrin render --list >styles.txt
check "render --list names the 128 styles" test "$(wc -l <styles.txt)" -eq 128
check "each by a name of its own" test "$(sed 's/^[0-9]*: //' styles.txt | sort -u | wc -l)" -eq 128
check "as in: 84: Iris, ellipse opening (shape)" grep -qx "84: Iris, ellipse opening (shape)" styles.txt
tevrin pack --help >help.txt
check "pack's help lists the styles by name" grep -qF "118: Dissolve (fade)" help.txt
readme=$samples/../README.md
if [ -f "$readme" ]; then
    awk '/<!-- styles: the output of tevrin render --list -->/ { on = 1; next }
         on && /^```$/ { if (++fences == 2) exit; next }
         on && fences == 1' "$readme" >readme-styles.txt
    check "the README lists the styles as render --list does" cmp -s styles.txt readme-styles.txt
fi
tevrin render --style 5 --to 05-plasma.jpg --size 0x10 -o bad.png >/dev/null
check "a bad size fails" grep -q "between 1x1" err.txt

# A packed saver runs on the headless platform and writes what it showed.
stub=$(dirname "$tool")/tevrin-saver
saver_file=show.run
if [ -e "$stub.exe" ]; then
    stub=$stub.exe
    saver_file=show.exe
fi
tevrin pack -q -o "$saver_file" --stub "$stub" --interval 500 --sound melody.wav \
    05-plasma.jpg 02-lighthouse.jpg >/dev/null
check "pack with the runtime stub" test -s "$saver_file"
$runner "./$saver_file" --platform headless --seconds 4 --size 64x48 --dump frames >/dev/null 2>err.txt
check "a headless run writes frames" test "$(ls frames | grep -c '^frame-.*\.png$')" -gt 30
check "and the log of its player calls" grep -q "play melody.wav" frames/log.txt
$runner "./$saver_file" --platform headless --seconds 3 --screens 64x48+0+0,32x24+64+0 --dump two >/dev/null 2>err.txt
check "a two-monitor headless run writes frames of the primary monitor" \
    test "$(ls two | grep -c '^frame-.*-m1-.*\.png$')" -gt 20
check "and of the other one, in step" \
    test $(( $(ls two | grep -c '^frame-.*-m1-.*\.png$') - $(ls two | grep -c '^frame-.*-m2-.*\.png$') )) -le 2
# One player for both monitors: never a sound opened while another is.
check "and plays its music once, not per monitor" \
    awk '/^open /{if (open) exit 1; open=1} /^close /{open=0}' two/log.txt
$runner "./$saver_file" --platform dos /s >/dev/null 2>err.txt
check "an unknown platform is named with the ones there are" grep -q "No platform dos in this build (it has" err.txt

# The player plays a folder as it is, in a window of its size: the right
# key brings the next picture at once, Space holds it, Escape ends it.
mkdir -p album/inner
cp 05-plasma.jpg album/
cp 02-lighthouse.jpg album/inner/
frame_ticks() { ls "$1" | sed -n 's/^frame-[0-9]*-t0*\([0-9]*\)\.png$/\1/p' | sort -n; }
tevrin show album --recursive --interval 3000 --platform headless --seconds 30 \
    --desktop 320x240+0+0 --size 160x120 --dump played \
    --keys 1500:right,2000:space,9000:escape >/dev/null
check "show plays a folder and exits 0" test $? -eq 0
check "in a window of the size asked for" \
    test "$(identify -format '%wx%h' "played/$(ls played | grep '^frame-' | tail -1)")" = 160x120
check "the right key brings the next picture before its time" \
    test -n "$(frame_ticks played | awk '$1 >= 1500 && $1 < 1600')"
check "Space holds it" test -z "$(frame_ticks played | awk '$1 > 2600')"
check "Escape ends it" grep -qx "ran 9[0-9][0-9][0-9] ms" <(tr -d '\r' <played/log.txt)
check "and the player's saver is gone" \
    test -z "$(find "${TMPDIR:-/tmp}" -maxdepth 1 -name "tevrin-show-*" -newer album 2>/dev/null)"
tevrin show "$saver_file" --title Replayed --platform headless --seconds 3 --size 64x48 \
    --dump replayed >/dev/null
check "show plays a saver" test "$(ls replayed | grep -c '^frame-.*\.png$')" -gt 20
tevrin show "$saver_file" a.scr --platform headless --seconds 3 >/dev/null
check "one saver at a time" grep -q "one saver or manifest at a time" err.txt

# The Studio hands the browser a page in a private folder, never its
# address: any user can read a process's arguments, and the address holds
# the session's token.
if [ -z "$runner" ]; then
    mkdir -p opener
    cat > opener/xdg-open <<'SH'
#!/bin/sh
printf '%s\n' "$@" > "$OPENED_LOG"
SH
    chmod +x opener/xdg-open
    OPENED_LOG=$work/opened.txt PATH=$work/opener:$PATH HOME=$work/home \
        "$tool" studio "$work/studio-project" >studio.txt 2>err.txt &
    studio=$!
    for _ in $(seq 100); do [ -s opened.txt ] && break; sleep 0.1; done
    address=$(grep -o 'http://[^ ]*' studio.txt)
    opened=$(cat opened.txt 2>/dev/null)
    check "the Studio prints its address" contains "$address" "/s/"
    check "and opens a page of its own, not the address" test -f "$opened"
    check "that leads to the address" grep -qF "url=$address" "$opened"
    check "in a folder only this user may enter" test "$(stat -c %a "$(dirname "$opened")")" = 700
    printf '%s\n' "${address##*/s/}" | tr -d / > token.txt
    check "the token is in no process's arguments" \
        sh -c '! grep -qaFf token.txt /proc/[0-9]*/cmdline 2>/dev/null'
    check "(which a process that has it there shows)" \
        sh -c 'grep -qaFf token.txt /proc/[0-9]*/cmdline 2>/dev/null' - "$(cat token.txt)"
    # A second start on the same project hands over to the running one.
    OPENED_LOG=$work/opened-again.txt PATH=$work/opener:$PATH HOME=$work/home \
        "$tool" studio "$work/studio-project" >again.txt 2>err.txt
    check "a second start ends at once" test $? -eq 0
    check "and names the running Studio" contains "$(cat again.txt)" "$address"
    check "and opens it" grep -qF "url=$address" "$(cat opened-again.txt 2>/dev/null)"
    kill "$studio"
    wait "$studio" 2>/dev/null
fi

# Windows: install makes a saver the user's screen saver as the system's
# Install does, and uninstall puts back the choice it replaced.
if [ -n "$runner" ]; then
    desktop='HKCU\Control Panel\Desktop'
    setting() { $runner reg query "$desktop" /v "$1" 2>/dev/null | tr -d '\r' | awk -v k="$1" '$1 == k { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'; }
    $runner reg add "$desktop" /v SCRNSAVE.EXE /d 'C:\windows\system32\old one.scr' /f >/dev/null 2>&1
    $runner reg add "$desktop" /v ScreenSaveActive /d 0 /f >/dev/null 2>&1
    out=$(tevrin install a.scr)
    check "install exits 0" test $? -eq 0
    check "install names where the saver went" contains "$out" 'Tevrin\Savers\a.scr'
    check "the saver is the user's screen saver" contains "$(setting SCRNSAVE.EXE)" 'Tevrin\Savers\a.scr'
    check "and the screen saver is on" test "$(setting ScreenSaveActive)" = 1
    out=$(tevrin install a.scr)
    check "installing again exits 0" test $? -eq 0
    out=$(tevrin uninstall a)
    check "uninstall exits 0" test $? -eq 0
    check "uninstall puts back the saver chosen before" test "$(setting SCRNSAVE.EXE)" = 'C:\windows\system32\old one.scr'
    check "and whether it was on" test "$(setting ScreenSaveActive)" = 0
    tevrin uninstall a >/dev/null
    check "uninstalling again is refused" contains "$(cat err.txt)" "No saver named a is installed"
    tevrin install 05-plasma.jpg >/dev/null
    check "a picture is refused" contains "$(cat err.txt)" "05-plasma.jpg is no saver"
    check "and the choice is left alone" test "$(setting SCRNSAVE.EXE)" = 'C:\windows\system32\old one.scr'
fi

echo "cli: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
