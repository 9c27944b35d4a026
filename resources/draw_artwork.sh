#!/usr/bin/env bash
# Draws every picture of Zorvane from scratch, always the same way:
#   Image1.gif   strip behind the two search boxes      629 x 51
#   Image2.gif   panel behind the command buttons       632 x 69
#   Image3.jpg   backdrop of the main window            750 x 600
#   banner.gif   banner of the splash window            468 x 60
#   zorvane.ico  window icon                            32 x 32, 16 colours
#   hand.png     pointing-hand cursor of the update link 32 x 32, hot spot (10, 0)
# and, for the desktop's menus, the window icon again as a drawing that scales (SVG) and in the sizes of the
# hicolor theme, in packaging/icons/hicolor.
#
# Needs bash, ImageMagick's convert and the DejaVu fonts (Debian: imagemagick, fonts-dejavu-core).
# Run it from anywhere: the pictures are written beside this script, the menu icons into packaging/.
#
# The captions of Image1 and Image2 and the free areas of every picture follow the window layout
# (pixel positions below are in the picture's own coordinates):
#   Image1: search boxes over y 16..35, x 16..288 and x 336..608; captions above them, in the top 15 rows.
#   Image2: buttons from x 96 and y 16 on; caption "COMANDI" in the top 15 rows.
#   Image3: the labels "TERMINI PRESENTI" and the count (black text) at (112..290, 184..201) lie on
#           the light card; the link "Aggiorna il Zorvane" (white text) at (304..505, 576..593) lies on
#           the dark bottom strip.
#   banner: the splash window writes "Zorvane" and a credit line (black text) over x 335..465, y 31..60:
#           that corner stays plain and light.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cd "$here"

command -v convert >/dev/null || { echo "draw_artwork.sh: ImageMagick's convert is missing" >&2; exit 1; }

fontdir=/usr/share/fonts/truetype/dejavu
sans_bold=$fontdir/DejaVuSans-Bold.ttf
sans=$fontdir/DejaVuSans.ttf
serif_bold=$fontdir/DejaVuSerif-Bold.ttf
serif_italic=$fontdir/DejaVuSerif-Italic.ttf
for f in "$sans_bold" "$sans" "$serif_bold" "$serif_italic"; do
    [ -r "$f" ] || { echo "draw_artwork.sh: font $f is missing (fonts-dejavu-core)" >&2; exit 1; }
done

# The house colours.
navy='#16264a'       # covers, captions
deep='#0a1324'       # darkest backdrop, bottom strip
ink='#1b2a4e'        # caption text
gold='#c9a23a'       # rules and lettering
gold_dark='#8f7330'  # borders of the light strips
paper='#f6f0de'      # light card
paper_dark='#e4d6ad' # lower end of the strips' gradient

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Common output settings: no time stamps or other metadata, so that a second run gives the same bytes.
gif_out() { convert "$1" -strip +dither -colors 64 +repage -layers flatten "GIF:$2"; }

# --- Image1.gif: the search strip ---------------------------------------------------------------
convert -size 629x51 gradient:"$paper"-"$paper_dark" \
    -fill none -stroke "$gold_dark" -strokewidth 1 -draw 'rectangle 0,0 628,50' \
    -stroke "$gold" -draw 'line 2,44 626,44' \
    -stroke none -fill "$ink" -font "$sans_bold" -pointsize 12 \
    -annotate +16+12 'CERCA NEI TERMINI' \
    -annotate +336+12 'CERCA NELLE DEFINIZIONI' \
    "$tmp/image1.png"
gif_out "$tmp/image1.png" Image1.gif

# --- Image2.gif: the command panel ----------------------------------------------------------------
# A small open book sits in the free corner left of the buttons (x 0..95, y 16..68).
convert -size 632x69 gradient:"$paper"-"$paper_dark" \
    -fill none -stroke "$gold_dark" -strokewidth 1 -draw 'rectangle 0,0 631,68' \
    -stroke "$gold" -draw 'line 2,62 629,62' \
    -stroke none -fill "$ink" -font "$sans_bold" -pointsize 12 \
    -annotate +16+12 'COMANDI' \
    -stroke "$navy" -strokewidth 1.5 -fill "$paper" \
    -draw 'path "M 46,29 C 38,25 28,25 20,28 L 20,52 C 28,49 38,49 46,53 Z"' \
    -draw 'path "M 46,29 C 54,25 64,25 72,28 L 72,52 C 64,49 54,49 46,53 Z"' \
    -stroke "$gold_dark" -strokewidth 1 \
    -draw 'line 25,34 41,35' -draw 'line 25,39 41,40' -draw 'line 25,44 41,45' \
    -draw 'line 51,35 67,34' -draw 'line 51,40 67,39' -draw 'line 51,45 67,44' \
    "$tmp/image2.png"
gif_out "$tmp/image2.png" Image2.gif

# --- Image3.jpg: the backdrop of the window --------------------------------------------------------
# Navy, darkening downwards, with a faint woven texture; a light card behind the strips, the list and
# the definition (x 104..747, y 48..557); the product name at the top; a dark strip at the bottom
# for the white update link. The texture comes from seeded noise, so it is the same on every run.
convert -size 750x600 gradient:'#1e3160'-"$deep" \
    \( -size 750x600 xc:gray50 -seed 1729 +noise Gaussian -colorspace Gray \
       -motion-blur 0x6+0 -motion-blur 0x6+90 -level 35%,65% \) \
    -compose SoftLight -composite \
    -fill "$deep" -draw 'rectangle 0,558 749,599' \
    -stroke "$gold" -strokewidth 1 -draw 'line 0,558 749,558' \
    -stroke none -fill '#00000066' -draw 'roundrectangle 107,51 750,561 7,7' \
    -fill "$paper" -stroke "$gold_dark" -draw 'roundrectangle 104,48 747,557 6,6' \
    -stroke none -fill "$gold" -font "$serif_bold" -pointsize 26 -annotate +112+37 'Zorvane' \
    -fill '#c8d0e0' -font "$serif_italic" -pointsize 13 -annotate +246+37 'il glossario' \
    -fill '#2a3f6e' -font "$serif_bold" -pointsize 30 \
    -gravity center -annotate 270x270-322+0 'GLOSSARIO' -gravity northwest \
    "$tmp/image3.png"
convert "$tmp/image3.png" -strip -sampling-factor 1x1 -quality 92 JPEG:Image3.jpg

# --- banner.gif: the splash banner -----------------------------------------------------------------
# Navy field with the name on the left, a slanted gold edge, and plain paper on the right where the
# splash window writes its two labels (x 335..465, y 31..60).
convert -size 468x60 xc:"$paper" \
    \( -size 60x300 gradient:'#22386b'-"$deep" -rotate 90 \) -geometry +0+0 -compose Over -composite \
    -fill "$paper" -draw 'polygon 300,0 468,0 468,60 270,60' \
    -stroke "$gold" -strokewidth 3 -draw 'line 300,0 270,60' \
    -stroke none -fill "$gold" -draw 'rectangle 335,26 462,26' \
    -fill '#05080f' -font "$serif_bold" -pointsize 30 -kerning 4 -annotate +21+39 'ZORVANE' \
    -fill "$gold" -annotate +19+37 'ZORVANE' \
    -fill '#c8d0e0' -font "$serif_italic" -pointsize 11 -kerning 1 -annotate +22+53 'il glossario di casa' \
    "$tmp/banner.png"
gif_out "$tmp/banner.png" banner.gif

# --- zorvane.ico: the window icon ----------------------------------------------------------------------
# A navy book with a gold "Z" on its cover and the paper edge showing; 16 colours, transparent corners.
convert -size 32x32 xc:none \
    -fill "$paper_dark" -stroke "$gold_dark" -strokewidth 1 -draw 'roundrectangle 7,4 28,29 2,2' \
    -stroke none -fill "$paper" -draw 'rectangle 8,5 27,26' \
    -fill "$navy" -stroke '#060b16' -draw 'roundrectangle 3,2 25,27 2,2' \
    -stroke none -fill '#2b4478' -draw 'rectangle 4,3 6,26' \
    -fill "$gold" -draw 'rectangle 7,3 7,26' \
    -font "$serif_bold" -pointsize 22 -gravity center -annotate +2-1 'Z' -gravity northwest \
    -fill none -stroke "$gold" -strokewidth 1 -draw 'line 10,23 22,23' \
    "$tmp/icon.png"
# 16 colours without dithering, written as a 4-bit palette icon; transparency goes into the icon's mask.
convert "$tmp/icon.png" -strip -channel A -threshold 50% +channel +dither -colors 16 -type PaletteMatte \
    ICO:zorvane.ico

# --- hand.png: the cursor of the update link -------------------------------------------------------
# Drawn pixel by pixel: X outline, o white, s shading, . transparent.
# Hot spot: the tip of the index finger, pixel (10, 0).
cat > "$tmp/hand.xpm" <<'XPM'
/* XPM */
static char *hand[] = {
"32 32 4 1",
". c None",
"X c #000000",
"o c #FFFFFF",
"s c #B8B8B8",
"........XXXX....................",
".......XooooX...................",
".......XooooX...................",
".......XooooX...................",
".......XooooX...................",
".......XooooX...................",
".......XooooXXXX................",
".......XooooXoooXXXX............",
".......XooooXoooXoooXXX.........",
".......XooooXoooXoooXooX........",
".......XooooXoooXoooXooX........",
"..XXX..XooooXoooXoooXooX........",
".XoooX.XooooXoooXoooXooX........",
".XooooXXoooooooooooooooX........",
".XoooooXoooooooooooooosX........",
"..XooooooooooooooooooosX........",
"..XooooooooooooooooooosX........",
"...XoooooooooooooooooosX........",
"...XooooooooooooooooossX........",
"....XoooooooooooooooossX........",
".....XoooooooooooooosssX........",
".....XoooooooooooooossX.........",
"......XoooooooooooossX..........",
"......XoooooooooooossX..........",
"......XXXXXXXXXXXXXXXX..........",
"................................",
"................................",
"................................",
"................................",
"................................",
"................................",
"................................"
};
XPM
convert "$tmp/hand.xpm" -strip -define png:color-type=6 PNG32:hand.png

# --- The menu icons: the window icon's book drawn as shapes -------------------------------------------
# One set of shapes, on the window icon's 32-unit grid, is both the SVG and the PNGs (ImageMagick's MVG
# reads the same path data); the "Z" is a serif outline instead of a font's glyph, so the SVG looks the same
# on every desktop. MVG puts pixel centres on whole numbers, SVG on halves: hence the half-pixel shift.
icons="$here/../packaging/icons/hicolor"
icon_name=example.pelvaro.Zorvane
z_path='M 11.6,6 L 24,6 L 24,8.4 L 15.8,18.6 L 21.6,18.6 L 22.6,16 L 24.4,16 L 24.2,21 L 11,21 L 11,18.7 L 19.2,8.4 L 14.4,8.4 L 13.6,10.6 L 11.6,10.6 Z'
mkdir -p "$icons/scalable/apps"
cat > "$icons/scalable/apps/$icon_name.svg" <<SVG
<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">
  <rect x="7.5" y="4.5" width="21" height="25" rx="2" fill="$paper_dark" stroke="$gold_dark" stroke-width="0.7"/>
  <rect x="8" y="5" width="20" height="22" fill="$paper"/>
  <rect x="3.5" y="2.5" width="22" height="25" rx="2" fill="$navy" stroke="#060b16" stroke-width="0.7"/>
  <rect x="4" y="3" width="3" height="24" fill="#2b4478"/>
  <rect x="7" y="3" width="1" height="24" fill="$gold"/>
  <path d="$z_path" fill="$gold"/>
  <path d="M 10,23.5 H 23" stroke="$gold" stroke-width="1"/>
</svg>
SVG
for size in 16 22 24 32 48 64 128 256; do
    scale=$(awk -v n="$size" 'BEGIN { print n / 32 }')
    cat > "$tmp/icon.mvg" <<MVG
viewbox 0 0 $size $size
affine $scale 0 0 $scale -0.5 -0.5
fill '$paper_dark' stroke '$gold_dark' stroke-width 0.7 roundrectangle 7.5,4.5 28.5,29.5 2,2
stroke none fill '$paper' rectangle 8,5 28,27
fill '$navy' stroke '#060b16' stroke-width 0.7 roundrectangle 3.5,2.5 25.5,27.5 2,2
stroke none fill '#2b4478' rectangle 4,3 7,27
fill '$gold' rectangle 7,3 8,27
path '$z_path'
fill none stroke '$gold' stroke-width 1 line 10,23.5 23,23.5
MVG
    mkdir -p "$icons/${size}x$size/apps"
    convert -size "${size}x$size" -background none "mvg:$tmp/icon.mvg" -strip "PNG32:$icons/${size}x$size/apps/$icon_name.png"
done
