#!/usr/bin/env python3
"""Width in pixels of the widest run of text in a window frame's title bar.

   title_text_width.py TITLE_BAR_HEIGHT < frame.ppm

A column belongs to the text when one of its pixels stands out from its row's background (the
bar's colour, the most common one in that row); runs of such columns closer than 6 px are one run.
The window manager's icon and buttons are runs of their own, narrower than a title."""
import collections
import sys

data = sys.stdin.buffer.read()
fields = []
pos = 0
while len(fields) < 4:  # magic, width, height, maxval, skipping comments
    while data[pos:pos + 1].isspace():
        pos += 1
    if data[pos:pos + 1] == b"#":
        pos = data.index(b"\n", pos) + 1
        continue
    end = pos
    while not data[end:end + 1].isspace():
        end += 1
    fields.append(data[pos:end])
    pos = end
pos += 1
assert fields[0] == b"P6" and fields[3] == b"255", "a binary 8-bit PPM is expected"
width, height = int(fields[1]), int(fields[2])
bar = min(int(sys.argv[1]), height)
pixels = data[pos:]

def pixel(x, y):
    i = 3 * (y * width + x)
    return pixels[i], pixels[i + 1], pixels[i + 2]

text = [False] * width
for y in range(2, bar - 2):  # the border and the bar's edges are not text
    row = [pixel(x, y) for x in range(width)]
    background = collections.Counter(row).most_common(1)[0][0]
    for x, p in enumerate(row):
        if sum(abs(a - b) for a, b in zip(p, background)) > 120:
            text[x] = True

widest, start, last = 0, None, None
for x in range(2, width - 2):
    if not text[x]:
        continue
    if start is None or x - last >= 6:
        start = x
    last = x
    widest = max(widest, last - start + 1)
print(widest)
