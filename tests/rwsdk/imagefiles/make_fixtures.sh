#!/usr/bin/env bash
# Writes the image-file test set with ImageMagick: BMP, PNG, TIFF and DDS files of one 37x23 picture (odd
# sizes, so row padding and partial DXT blocks matter), each with its decoded pixels as raw RGBA
# (NAME.rgba) as ImageMagick reads them. Usage: make_fixtures.sh CONVERT OUTPUT_DIR
set -euo pipefail
convert=$1
out=$2
mkdir -p "$out"
cd "$out"
c() { "$convert" "$@"; }

# A colour ramp with a vertical alpha ramp, and its grey version.
c -size 37x23 xc: -sparse-color bilinear '0,0 red 36,0 lime 0,22 blue 36,22 yellow' \
  \( -size 37x23 gradient:white-gray30 \) -alpha off -compose CopyOpacity -composite -depth 8 PNG32:base.png
c base.png -colorspace gray -alpha off -depth 8 grey.png

# BMP: the 40-byte header (bmp3), the 12-byte core header (bmp2), and a 5-6-5 bit-field file.
c base.png -alpha off +dither -colors 2 -type palette -compress none BMP3:bmp1.bmp
c base.png -alpha off +dither -colors 16 -type palette -compress none BMP3:bmp4.bmp
c base.png -alpha off +dither -colors 200 -type palette -compress none BMP3:bmp8.bmp
c base.png -alpha off +dither -colors 200 -type palette -compress RLE BMP3:bmprle8.bmp
c base.png -alpha off -type truecolor BMP3:bmp24.bmp
c base.png -define bmp3:alpha=true BMP3:bmp32.bmp
c base.png -alpha off -define bmp:subtype=RGB565 BMP:bmp565.bmp
c base.png -alpha off +dither -colors 16 -type palette BMP2:bmpcore4.bmp
c base.png -alpha off -type truecolor BMP2:bmpcore24.bmp

# PNG: every colour type and bit depth, palettes and grey levels with tRNS, and an interlaced file.
c grey.png -threshold 50% -define png:bit-depth=1 -define png:color-type=0 png_g1.png
c grey.png -posterize 4 -define png:bit-depth=2 -define png:color-type=0 png_g2.png
c grey.png -posterize 16 -define png:bit-depth=4 -define png:color-type=0 png_g4.png
c grey.png -define png:bit-depth=8 -define png:color-type=0 png_g8.png
c grey.png -define png:bit-depth=16 -define png:color-type=0 png_g16.png
c grey.png -posterize 4 -transparent 'gray(0)' -define png:bit-depth=2 png_gt2.png
c grey.png -posterize 4 -transparent 'gray(0)' -define png:bit-depth=8 png_gt8.png
for b in 8 16; do
  c base.png -alpha off -define png:color-type=2 -define png:bit-depth=$b png_rgb$b.png
  c base.png -colorspace gray -define png:color-type=4 -define png:bit-depth=$b png_ga$b.png
  c base.png -define png:color-type=6 -define png:bit-depth=$b png_rgba$b.png
done
c grey.png -threshold 50% -fill red -opaque black -define png:exclude-chunk=bKGD -define png:color-type=3 \
  -define png:bit-depth=1 png_p1.png
for b in 2 4 8; do
  c base.png -alpha off +dither -colors $((1 << b >> 1)) -define png:exclude-chunk=bKGD -define png:color-type=3 \
    -define png:bit-depth=$b png_p$b.png
done
c base.png -channel A -threshold 50% +channel +dither -colors 3 -define png:bit-depth=2 PNG8:png_pt2.png
c base.png -channel A -threshold 50% +channel +dither -colors 100 PNG8:png_pt8.png
c base.png -interlace PNG -define png:color-type=6 png_rgbai.png

# TIFF: strips, tiles, palette, min-is-white, and a 16-bit file that the reader refuses.
c base.png -alpha off -compress none -define tiff:rows-per-strip=5 tif_rgb.tif
c base.png -compress lzw -define tiff:rows-per-strip=7 tif_rgba.tif
c grey.png -compress none -define tiff:rows-per-strip=4 tif_grey.tif
c grey.png -compress none -define quantum:polarity=min-is-white tif_white.tif
c base.png -alpha off +dither -colors 200 -type palette -compress none tif_pal.tif
c grey.png -define tiff:tile-geometry=16x16 tif_greytile.tif
c grey.png -crop 32x23+0+0 +repage -define tiff:tile-geometry=16x16 tif_greytile32.tif
c base.png -alpha off -define tiff:tile-geometry=16x16 tif_rgbtile.tif
c base.png -alpha off -depth 16 tif_16.tif

# DDS: DXT1 (ImageMagick writes it opaque), DXT5, uncompressed 24 and 32 bits, a DXT1 mip chain.
c base.png -define dds:compression=dxt1 -define dds:mipmaps=0 dds_dxt1.dds
c base.png -define dds:compression=dxt5 -define dds:mipmaps=0 dds_dxt5.dds
c base.png -define dds:compression=none -define dds:mipmaps=0 dds_rgba.dds
c base.png -alpha off -define dds:compression=none -define dds:mipmaps=0 dds_rgb.dds
c base.png -resize 64x64! -define dds:compression=dxt1 -define dds:mipmaps=6 dds_mip.dds

for f in *.bmp *.png *.tif *.dds; do
  case $f in base.png | grey.png) continue ;; esac
  c "$f[0]" -depth 8 "rgba:${f%.*}.rgba"
done
