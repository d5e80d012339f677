#!/usr/bin/env python3
"""Figures from the real simulator's camera frames, and the side-by-side picture.

  reference_frames.py figures REFDIR > reference_poses.txt
      One line per head pose: the six head joints, the pure-blue pixels (the ball: R <= 12,
      G <= 12, B >= 20) as count and centroid, then the pixels that pass the ball finder's
      blue test (B > 1.2 R + 10 and B > 1.2 G + 10) but are not pure blue (the robot's own
      body), counted in a 4 x 4 grid of 80 x 60 px cells, row by row.

  reference_frames.py side-by-side REFDIR FRAMEDIR OUT.png
      For each pose, the real frame and the stand-in's frame (FRAMEDIR/<joints>.ppm, as the
      sim_reference_poses_test writes them when AC_SIM_FRAME_DIR is set) next to each other,
      one pose per row, at half size.

  reference_frames.py side-by-side-views REALDIR FRAMEDIR OUT.png N [N ...]
      The same for views of the head_views grid: the real frame REALDIR/<NNN>_*.ppm (as
      tools/head_views saves them) next to the stand-in's FRAMEDIR/view-<NNN>.ppm (as the
      suite writes them), for each view number N given.

Standard library only (zlib for PNG).
"""
import os
import re
import struct
import sys
import zlib

GRID = 4


def read_png(path):
    data = open(path, 'rb').read()
    if data[:8] != b'\x89PNG\r\n\x1a\n':
        raise ValueError(path + ': not a PNG file')
    pos, idat, width, height, bpp = 8, b'', 0, 0, 3
    while pos < len(data):
        length, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b'IHDR':
            width, height, depth, colour, _, _, interlace = struct.unpack('>IIBBBBB', body)
            if depth != 8 or interlace != 0 or colour not in (2, 6):
                raise ValueError(path + ': only 8-bit RGB or RGBA, not interlaced')
            bpp = 3 if colour == 2 else 4
        elif kind == b'IDAT':
            idat += body
    raw = zlib.decompress(idat)
    stride = width * bpp
    rgb = bytearray(width * height * 3)
    prev = bytearray(stride)
    i = 0
    for y in range(height):
        kind = raw[i]
        line = bytearray(raw[i + 1:i + 1 + stride])
        i += 1 + stride
        for x in range(stride):
            a = line[x - bpp] if x >= bpp else 0
            b = prev[x]
            c = prev[x - bpp] if x >= bpp else 0
            if kind == 1:
                line[x] = (line[x] + a) & 255
            elif kind == 2:
                line[x] = (line[x] + b) & 255
            elif kind == 3:
                line[x] = (line[x] + ((a + b) >> 1)) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else (b if pb <= pc else c))) & 255
        for x in range(width):
            rgb[(y * width + x) * 3:(y * width + x) * 3 + 3] = line[x * bpp:x * bpp + 3]
        prev = line
    return width, height, rgb


def read_ppm(path):
    data = open(path, 'rb').read()
    # Four whitespace-separated header fields, then exactly one whitespace byte.
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    if fields[0] != b'P6' or fields[3] != b'255':
        raise ValueError(path + ': only binary PPM with maxval 255')
    width, height = int(fields[1]), int(fields[2])
    return width, height, bytearray(data[pos + 1:pos + 1 + width * height * 3])


def write_png(path, width, height, rgb):
    raw = b''.join(b'\x00' + bytes(rgb[y * width * 3:(y + 1) * width * 3]) for y in range(height))

    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body) & 0xffffffff)

    with open(path, 'wb') as out:
        out.write(b'\x89PNG\r\n\x1a\n')
        out.write(chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)))
        out.write(chunk(b'IDAT', zlib.compress(raw, 9)))
        out.write(chunk(b'IEND', b''))


def poses(refdir):
    """(joints, path) of every reference frame, the head joints in degrees."""
    named = {'real-sim-left-camera-head-at-rest.png': '0_0_0_0_0_0',
             'real-sim-left-camera-pitch-35-tilt-30.png': '-35_0_0_-30_0_0'}
    found = []
    for name in sorted(os.listdir(refdir)):
        m = re.fullmatch(r'real-sim-head_(-?\d+(?:_-?\d+){5})\.png', name)
        joints = m.group(1) if m else named.get(name)
        if joints:
            found.append((joints, os.path.join(refdir, name)))
    return found


def figures(width, height, rgb):
    ball, su, sv = 0, 0, 0
    cells = [0] * (GRID * GRID)
    for y in range(height):
        for x in range(width):
            r, g, b = rgb[(y * width + x) * 3:(y * width + x) * 3 + 3]
            if r <= 12 and g <= 12 and b >= 20:
                ball += 1
                su += x
                sv += y
            elif b > 1.2 * r + 10 and b > 1.2 * g + 10:
                cells[(y * GRID // height) * GRID + x * GRID // width] += 1
    u = su / ball if ball else -1
    v = sv / ball if ball else -1
    return ball, u, v, cells


def half(image):
    """The image at half its width and height, each pixel the mean of a 2 x 2 block."""
    width, height, rgb = image
    w, h = width // 2, height // 2
    out = bytearray(w * h * 3)
    for y in range(h):
        for x in range(w):
            for c in range(3):
                i = ((2 * y) * width + 2 * x) * 3 + c
                total = rgb[i] + rgb[i + 3] + rgb[i + width * 3] + rgb[i + width * 3 + 3]
                out[(y * w + x) * 3 + c] = (total + 2) // 4
    return w, h, out


def write_rows(rows, out_path):
    """Each row a (real, stand-in) pair of half-size images, one row under the other."""
    gap = 4
    width = rows[0][0][0] * 2 + gap
    height = sum(real[1] for real, _ in rows) + gap * (len(rows) - 1)
    out = bytearray([255]) * (width * height * 3)
    top = 0
    for real, stand_in in rows:
        for left, (w, h, rgb) in ((0, real), (real[0] + gap, stand_in)):
            for y in range(h):
                start = ((top + y) * width + left) * 3
                out[start:start + w * 3] = rgb[y * w * 3:(y + 1) * w * 3]
        top += real[1] + gap
    write_png(out_path, width, height, out)


def main(args):
    if len(args) == 2 and args[0] == 'figures':
        print('# head joints (6), ball pixels, ball centroid u v (-1: none), body-blue pixels in a 4x4 grid')
        for joints, path in poses(args[1]):
            ball, u, v, cells = figures(*read_png(path))
            print(' '.join(joints.split('_')), ball, '%.1f %.1f' % (u, v), ' '.join(map(str, cells)))
        return 0
    if len(args) == 4 and args[0] == 'side-by-side':
        rows = []
        for joints, path in poses(args[1]):
            frame = os.path.join(args[2], joints + '.ppm')
            if os.path.exists(frame):
                rows.append((half(read_png(path)), half(read_ppm(frame))))
        if not rows:
            print('no stand-in frames in ' + args[2], file=sys.stderr)
            return 1
        write_rows(rows, args[3])
        return 0
    if len(args) >= 5 and args[0] == 'side-by-side-views':
        rows = []
        for n in args[4:]:
            real = [f for f in os.listdir(args[1]) if f.startswith('%03d_' % int(n)) and f.endswith('.ppm')]
            frame = os.path.join(args[2], 'view-%03d.ppm' % int(n))
            if not real or not os.path.exists(frame):
                print('view %s: missing frame' % n, file=sys.stderr)
                return 1
            rows.append((half(read_ppm(os.path.join(args[1], real[0]))), half(read_ppm(frame))))
        write_rows(rows, args[3])
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
