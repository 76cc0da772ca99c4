#!/usr/bin/env python3
"""Writes a game-like payload: many small scripts, uncompressed images and PCM audio,
some incompressible blobs and a few large files. Usage: make_payload.py DIR MEGABYTES"""
import math, os, random, struct, sys

root, megabytes = sys.argv[1], float(sys.argv[2])
scale = megabytes / 300.0
rng = random.Random(20240401)

def noise_mask(n, mask_byte):
    mask = int.from_bytes(bytes([mask_byte]) * n, 'little')
    return int.from_bytes(rng.randbytes(n), 'little') & mask

def with_noise(data, mask_byte):
    v = int.from_bytes(data, 'little') ^ noise_mask(len(data), mask_byte)
    return v.to_bytes(len(data), 'little')

def write(path, data):
    full = os.path.join(root, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, 'wb') as f:
        f.write(data)

def bmp(w, h, seed):
    row = bytearray()
    for x in range(w):
        row += bytes(((x * 3 + seed) % 256, (x + seed * 7) % 256, (x * 5 // 3) % 256))
    pad = (-len(row)) % 4
    rows = []
    for y in range(h):
        shift = (y * 3) % len(row)
        rows.append(bytes(row[shift:] + row[:shift]) + b'\0' * pad)
    pixels = with_noise(b''.join(rows), 0x07)
    header = b'BM' + struct.pack('<IHHI', 54 + len(pixels), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + pixels

def wav(seconds, freq):
    rate = 22050
    period = bytearray()
    for i in range(rate):
        s = int(12000 * math.sin(2 * math.pi * freq * i / rate) + 4000 * math.sin(2 * math.pi * 3 * freq * i / rate))
        period += struct.pack('<hh', s, s)
    pcm = with_noise(bytes(period) * seconds, 0x0F)
    return (b'RIFF' + struct.pack('<I', 36 + len(pcm)) + b'WAVEfmt ' +
            struct.pack('<IHHIIHH', 16, 1, 2, rate, rate * 4, 4, 16) + b'data' + struct.pack('<I', len(pcm)) + pcm)

words = ['星', '夜', '町', '君', '僕', '空', '光', '風', '[p]', '[r]', 'の', 'が', 'を', 'に', 'は',
         '[cm]', '@jump', 'storage=', 'target=*', 'ゆっくり', '歩く', '見上げる', '。', '、']

def script(n_lines):
    lines = []
    for _ in range(n_lines):
        lines.append(''.join(rng.choice(words) for _ in range(rng.randint(6, 30))))
    return ('\r\n'.join(lines) + '\r\n').encode('cp932')

write('install.env', 'TITLEBAR\tベンチマーク\r\nINSTTO\tBench\r\nEXENAME\tgame.exe\r\n'.encode('cp932'))
write('readme.txt', script(60))
# The packer refuses a tree without a title picture: the sample's.
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'examples', 'sample', 'insttscr.rct'), 'rb') as f:
    write('insttscr.rct', f.read())
write('game.exe', b'MZ' + rng.randbytes(int(1500000 * scale) + 1000))
# A few large files at the top level, the way engines ship their packed data.
for i in range(2):
    write('data%d.bin' % i, with_noise(bmp(1024, 768, i) * max(1, int(8 * scale)), 0x3F))
for i in range(int(2600 * scale) + 5):
    write('data/scripts/ch%02d/scene%04d.ks' % (i % 12, i), script(rng.randint(20, 400)))
for i in range(int(140 * scale) + 2):
    write('data/image/bg/bg%03d.bmp' % i, bmp(640, 480, i))
for i in range(int(60 * scale) + 2):
    write('data/image/fg/fg%03d.bmp' % i, bmp(320, 480, i + 500))
for i in range(int(20 * scale) + 1):
    write('data/sound/bgm%02d.wav' % i, wav(10, 220 + 20 * i))
for i in range(int(150 * scale) + 2):
    write('data/sound/se/se%03d.wav' % i, wav(1, 440 + i))
for i in range(int(12 * scale) + 1):
    write('data/movie/clip%02d.ogv' % i, rng.randbytes(1500000))
write('save/.keep', b'')
