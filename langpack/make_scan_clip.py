#!/usr/bin/env python3
"""Writes the scan dialog's clip: a magnifier sweeping over a disk drive whose light blinks.

Generated at build time so the module carries no opaque binary. The output is an 8-bit
RLE8 AVI, the format the animation control reads on every Windows since NT 4 and on Wine.
The top-left pixel is the key colour: ACS_TRANSPARENT swaps it for the dialog background.

usage: make_scan_clip.py OUTPUT.avi
"""
import math
import struct
import sys

W, H, FRAMES, FPS = 40, 32, 12, 8

KEY = (255, 0, 255)
OUTLINE = (64, 64, 72)
BODY = (168, 172, 180)
BODY_LIGHT = (214, 218, 224)
BODY_SHADE = (120, 124, 134)
SLOT = (90, 94, 104)
LED_ON = (40, 200, 70)
LED_OFF = (40, 96, 56)
RIM = (40, 70, 120)
GLASS = (150, 200, 250)
GLINT = (255, 255, 255)
HANDLE = (96, 60, 30)


def blank():
    return [[KEY] * W for _ in range(H)]


def draw_drive(img, led_on):
    left, top, right, bottom = 3, 17, 36, 29
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            edge = y in (top, bottom) or x in (left, right)
            if edge:
                img[y][x] = OUTLINE
            elif y == top + 1:
                img[y][x] = BODY_LIGHT
            elif y == bottom - 1:
                img[y][x] = BODY_SHADE
            else:
                img[y][x] = BODY
    for x in range(left + 4, right - 10):
        img[top + 6][x] = SLOT
    for y in (top + 5, top + 6):
        for x in (right - 5, right - 4):
            img[y][x] = LED_ON if led_on else LED_OFF


def mix(a, b, share):
    return tuple(round(a[i] * (1 - share) + b[i] * share) for i in range(3))


def draw_magnifier(img, cx, cy):
    radius = 6.5
    # The handle first, so the rim overlaps its joint.
    for step in range(0, 40):
        t = radius + step * 0.2
        hx, hy = cx + t * 0.707, cy + t * 0.707
        for dx in (-1, 0, 1):
            for dy in (-1, 0, 1):
                if abs(dx) + abs(dy) <= 1:
                    x, y = round(hx + dx), round(hy + dy)
                    if 0 <= x < W and 0 <= y < H:
                        img[y][x] = HANDLE
    for y in range(H):
        for x in range(W):
            d = math.hypot(x - cx, y - cy)
            if d <= radius - 1.5:
                # Tinted glass: what lies under the lens shows through.
                under = img[y][x] if img[y][x] != KEY else (236, 240, 246)
                img[y][x] = mix(under, GLASS, 0.55)
            elif d <= radius + 0.3:
                img[y][x] = RIM
    for gx, gy in ((-2, -3), (-3, -2), (-3, -3)):
        img[round(cy + gy)][round(cx + gx)] = GLINT


def frame(f):
    img = blank()
    draw_drive(img, led_on=(f // 2) % 2 == 0)
    # Back and forth across the drive, easing at the ends.
    phase = f / FRAMES * 2 * math.pi
    cx = 17 - 8 * math.cos(phase)
    cy = 12 + 2 * math.sin(phase)
    draw_magnifier(img, cx, cy)
    return img


def rle8(indices):
    out = bytearray()
    for row in reversed(indices):  # DIBs are stored bottom-up
        x = 0
        while x < W:
            run = 1
            while x + run < W and run < 255 and row[x + run] == row[x]:
                run += 1
            out += bytes([run, row[x]])
            x += run
        out += b'\0\0'
    out[-2:] = b'\0\1'  # the last end-of-line becomes end-of-bitmap
    return bytes(out)


def chunk(fourcc, data):
    return fourcc + struct.pack('<I', len(data)) + data + b'\0' * (len(data) & 1)


def riff_list(kind, data):
    return chunk(b'LIST', kind + data)


def main(path):
    images = [frame(f) for f in range(FRAMES)]
    palette = [KEY]
    for img in images:
        for row in img:
            for colour in row:
                if colour not in palette:
                    palette.append(colour)
    if len(palette) > 256:
        sys.exit('make_scan_clip: more than 256 colours')
    lookup = {colour: i for i, colour in enumerate(palette)}
    frames = [rle8([[lookup[c] for c in row] for row in img]) for img in images]
    palette_bytes = b''.join(bytes([b, g, r, 0]) for r, g, b in palette)
    palette_bytes += b'\0' * (1024 - len(palette_bytes))

    biggest = max(map(len, frames))
    usec_per_frame = 1000000 // FPS
    avih = struct.pack('<14I', usec_per_frame, biggest * FPS, 0, 0x10, FRAMES, 0, 1, biggest,
                       W, H, 0, 0, 0, 0)
    strh = struct.pack('<4s4sIHHIIIIIIIIhhhh', b'vids', b'RLE ', 0, 0, 0, 0, 1, FPS, 0, FRAMES,
                       biggest, 0xFFFFFFFF, 0, 0, 0, W, H)
    bih = struct.pack('<IiiHHIIiiII', 40, W, H, 1, 8, 1, biggest, 0, 0, 256, 0)
    hdrl = riff_list(b'hdrl', chunk(b'avih', avih) +
                     riff_list(b'strl', chunk(b'strh', strh) + chunk(b'strf', bih + palette_bytes)))
    # avih.dwTotalFrames must not exceed the chunks here, or ACM_OPEN fails.
    movi = riff_list(b'movi', b''.join(chunk(b'00dc', f) for f in frames))
    with open(path, 'wb') as out:
        out.write(chunk(b'RIFF', b'AVI ' + hdrl + movi))


if __name__ == '__main__':
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
