"""Writes the demo's stand-in for the "OrtText" font that chkort.exe asks for.

A practice's OrtText draws the column separator, byte 0xB3, as a vertical
bar; read as Windows-1252 that byte is U+00B3 ("³"). The stand-in is DejaVu
Sans Mono (Debian's fonts-dejavu-core) with U+00B3 mapped to its box-drawing
vertical line, U+2502, and renamed, so that every other character of the
views keeps its Windows-1252 shape.

usage: ortext_font.py SOURCE.ttf OUT.ttf
"""

import sys

from fontTools.ttLib import TTFont

FAMILY = "OrtText"


def main(source, out):
    font = TTFont(source)
    bar = font.getBestCmap()[0x2502]
    for table in font["cmap"].tables:
        if table.isUnicode():
            table.cmap[0xB3] = bar
    # Family, full name, PostScript name, and the typographic family that
    # newer systems read first.
    for record in font["name"].names:
        if record.nameID in (1, 4, 6, 16):
            record.string = FAMILY
        elif record.nameID == 3:
            record.string = FAMILY + " stand-in"
    font.save(out)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip().splitlines()[-1])
    main(*sys.argv[1:])
