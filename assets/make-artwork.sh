#!/bin/sh
# Regenerates Formwell's artwork (window icon, splash picture, About logo) with ImageMagick.
# The PNGs are committed; run this only after changing the drawings below.
set -eu
cd "$(dirname "$0")"

FONT_BOLD=DejaVu-Sans-Bold
FONT=DejaVu-Sans
NAVY='#1f3a68'
TEAL='#2a8c8c'
AMBER='#f2a900'

# Window icon, 32 x 32: a navy tile with a white F over a short barcode.
convert -size 32x32 xc:none \
    -fill "$NAVY" -draw 'roundrectangle 0,0 31,31 5,5' \
    -fill white -font "$FONT_BOLD" -pointsize 22 -gravity north -annotate +0+0 'F' \
    -fill "$AMBER" -draw 'rectangle 6,25 7,29 rectangle 9,25 9,29 rectangle 11,25 13,29 rectangle 15,25 15,29 rectangle 17,25 18,29 rectangle 20,25 20,29 rectangle 22,25 23,29 rectangle 25,25 25,29' \
    -colors 16 PNG8:formwell.png

# The maker's emblem: a teal disc with a white V and an amber bar, reused by the logo and the splash.
convert -size 80x80 xc:none \
    -fill "$TEAL" -draw 'circle 40,40 40,2' \
    -fill white -draw 'polygon 18,20 30,20 40,50 50,20 62,20 45,64 35,64' \
    -fill "$AMBER" -draw 'rectangle 20,68 60,72' \
    emblem.tmp.png

# About logo, 268 x 95: emblem and the maker's name.
convert -size 268x95 xc:white \
    emblem.tmp.png -geometry +6+8 -composite \
    -fill "$NAVY" -font "$FONT_BOLD" -pointsize 30 -annotate +94+50 'Veltrax' \
    -fill "$TEAL" -font "$FONT" -pointsize 16 -annotate +96+74 'I N C .' \
    +dither -colors 16 PNG8:logo.png

# Splash picture, 682 x 411: product name, what it does, and the maker's emblem.
convert -size 682x411 gradient:'#e8eef7'-'#b9c9e2' \
    -fill "$NAVY" -draw 'rectangle 0,0 681,14 rectangle 0,396 681,410' \
    -fill "$NAVY" -font "$FONT_BOLD" -pointsize 72 -annotate +40+150 'Formwell' \
    -fill "$TEAL" -font "$FONT" -pointsize 22 -annotate +44+195 'Application Generator for hand-held terminals' \
    -fill "$NAVY" -font "$FONT" -pointsize 16 -annotate +44+230 'Design data-entry fields, send them to the terminal,' \
    -annotate +44+252 'collect the data and load terminal programs.' \
    \( emblem.tmp.png -resize 96x96 \) -geometry +44+276 -composite \
    -fill "$NAVY" -font "$FONT_BOLD" -pointsize 34 -annotate +152+330 'Veltrax Inc.' \
    -fill "$TEAL" -font "$FONT" -pointsize 14 -annotate +154+356 'Version 3.01' \
    +dither -colors 16 PNG8:splash.png

rm -f emblem.tmp.png
