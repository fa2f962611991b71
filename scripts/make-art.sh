#!/usr/bin/env bash
# Draws the setup program's pictures (committed under resources/art):
# the two welcome banners, the header picture and the two icons.
set -euo pipefail
cd "$(dirname "$0")/../resources/art"
im=/usr/bin/convert  # ImageMagick itself, not a wrapper earlier on PATH
font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc

banner() {  # banner FILE TITLE SUBTITLE
  "$im" -size 160x308 gradient:'#1b3f73'-'#5f9bd5' \
    -fill '#ffffff22' -draw 'circle 130,60 200,60' -draw 'circle 20,250 90,250' \
    -fill white -font "$font" -pointsize 22 -gravity north -annotate +0+40 "$2" \
    -pointsize 13 -annotate +0+74 "$3" \
    -fill '#ffffffcc' -draw 'roundrectangle 50,150 110,210 8,8' \
    -fill '#1b3f73' -draw 'polygon 62,198 80,160 98,198' \
    -strip -interlace none -sampling-factor 2x2 -colorspace sRGB -type TrueColor \
    -quality 92 "JPEG:$1"
}
banner IMAGELEFT0.jpg "诺凡画图" "安装向导"
banner IMAGELEFT2.jpg "Drawlet" "Setup Wizard"

"$im" -size 32x32 xc:'#fff8e1' -fill '#5f9bd5' -draw 'roundrectangle 3,3 28,28 5,5' \
  -fill white -draw 'polygon 9,24 16,8 23,24' -type TrueColor -strip BMP3:ImageIcon.bmp

icon() {  # icon FILE COLOUR
  "$im" -size 32x32 xc:none -fill "$2" -draw 'roundrectangle 1,1 30,30 6,6' \
    -fill white -draw 'polygon 8,25 16,6 24,25' -define icon:auto-resize=32,16 "$1"
}
icon app.ico '#1b3f73'
icon main.ico '#808080'
ls -la
