#!/usr/bin/env python3
"""Writes the HDR gain-map samples of tests/data (see README.md there), laid out as phones
lay out their files: pictures coded by libheif's heif-enc (x265), boxes written here.
Usage: make_gainmap_samples.py DIR"""
import math, subprocess, sys, tempfile, zlib

APPLE, SAMSUNG = 'urn:com:apple:photo:2020:aux:hdrgainmap', 'urn:com:samsung:photo:2024:aux:hdrgainmap'


def be(value, size): return (value & (1 << 8 * size) - 1).to_bytes(size, 'big')
def box(kind, *parts): body = b''.join(parts); return be(8 + len(body), 4) + kind.encode() + body
def full(kind, version, flags, *parts): return box(kind, bytes([version]), be(flags, 3), *parts)
def ispe(w, h): return full('ispe', 0, 0, be(w, 4), be(h, 4))
def irot(turns): return box('irot', bytes([turns]))
def nclx(p, t, m): return box('colr', b'nclx', be(p, 2), be(t, 2), be(m, 2), b'\x80')
def clap(w, h, dx, dy): return box('clap', *(be(v, 4) for v in (w, 1, h, 1, dx, 1, dy, 1)))  # offsets from the centre
def auxC(urn): return full('auxC', 0, 0, urn.encode(), b'\0')
def grid(rows, columns, w, h): return bytes([0, 0, rows - 1, columns - 1]) + be(w, 2) + be(h, 2)


def code(w, h, pixel, grey=False, deep=False, colour=(1, 13, 6)):
    """hvcC box and NAL units of one picture; pixel(x, y) gives its channels in 0..1."""
    top, size = (65535, 2) if deep else (255, 1)
    rows = b''.join(b'\0' + b''.join(be(round(v * top), size) for x in range(w) for v in pixel(x, y)) for y in range(h))
    chunk = lambda kind, data: be(len(data), 4) + kind + data + be(zlib.crc32(kind + data), 4)
    png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', be(w, 4) + be(h, 4) + bytes([8 * size, 0 if grey else 2, 0, 0, 0])) + \
        chunk(b'IDAT', zlib.compress(rows)) + chunk(b'IEND', b'')
    with tempfile.TemporaryDirectory() as tmp:
        open(tmp + '/p.png', 'wb').write(png)
        p, t, m = map(str, colour)
        subprocess.run(['heif-enc', '-q', '90', '-b', '10', '--colour_primaries', p, '--transfer_characteristic', t,
                        '--matrix_coefficients', m, '-o', tmp + '/p.heic', tmp + '/p.png'], check=True, capture_output=True)
        heic = open(tmp + '/p.heic', 'rb').read()
    at = heic.index(b'hvcC') - 4  # heif-enc writes one item, its data the whole mdat
    return heic[at:at + int.from_bytes(heic[at:at + 4], 'big')], heic[heic.index(b'mdat') + 4:]


def assemble(items, references, brands, groups=b''):
    """items: (id, type, data, properties, hidden); the first is the primary."""
    properties = []
    index = lambda p: properties.index(p) + 1 if p in properties else properties.append(p) or len(properties)
    ipma = [be(i[0], 2) + bytes([len(i[3])]) + bytes(index(p) for p in i[3]) for i in items]
    infe = [full('infe', 2, int(i[4]), be(i[0], 2), be(0, 2), i[1].encode(), b'\0',
                 b'application/rdf+xml\0' if i[1] == 'mime' else b'') for i in items]
    iref = full('iref', 0, 0, *(box(k, be(f, 2), be(len(to), 2), *(be(t, 2) for t in to)) for k, f, to in references))

    def meta(offsets):
        iloc = full('iloc', 0, 0, b'\x44\0', be(len(items), 2),
                    *(be(i[0], 2) + be(0, 2) + be(1, 2) + be(o, 4) + be(len(i[2]), 4) for i, o in zip(items, offsets)))
        return full('meta', 0, 0, full('hdlr', 0, 0, be(0, 4), b'pict', be(0, 12), b'\0'), full('pitm', 0, 0, be(items[0][0], 2)),
                    full('iinf', 0, 0, be(len(items), 2), *infe), iref,
                    box('iprp', box('ipco', *properties), full('ipma', 0, 0, be(len(items), 4), *ipma)), iloc, groups)
    ftyp = box('ftyp', b'heic', be(0, 4), *(b.encode() for b in brands))
    start = len(ftyp) + len(meta([0] * len(items))) + 8
    offsets = [start + sum(len(i[2]) for i in items[:n]) for n in range(len(items))]
    return ftyp + meta(offsets) + box('mdat', *(i[2] for i in items))


def exif(tags):
    """Exif whose Apple maker note holds (tag, numerator, denominator) as SRATIONALs."""
    values = 14 + 2 + 12 * len(tags) + 4  # offsets count from the note's start
    note = b'Apple iOS\0\0\1MM' + be(len(tags), 2) + b''.join(
        be(t, 2) + be(10, 2) + be(1, 4) + be(values + 8 * i, 4) for i, (t, _, _) in enumerate(tags)) + be(0, 4) + b''.join(
        be(n, 4) + be(d, 4) for _, n, d in tags)
    return be(0, 4) + b'MM\0\x2a' + be(8, 4) + be(1, 2) + be(0x8769, 2) + be(4, 2) + be(1, 4) + be(26, 4) + be(0, 4) + \
        be(1, 2) + be(0x927c, 2) + be(7, 2) + be(len(note), 4) + be(44, 4) + be(0, 4) + note


def xmp(namespace, prefix, fields, attributes):
    body = ''.join(f' {prefix}:{k}="{v}"' for k, v in fields) + '/>' if attributes else \
        '>' + ''.join(f'<{prefix}:{k}>{v}</{prefix}:{k}>' for k, v in fields) + '</rdf:Description>'
    return (f'<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">'
            f'<rdf:Description rdf:about="" xmlns:{prefix}="{namespace}"{body}</rdf:RDF></x:xmpmeta>').encode()


def apple_xmp(*fields): return xmp('http://ns.apple.com/HDRGainMap/1.0/', 'HDRGainMap', fields, False)
def adobe_xmp(*fields): return xmp('http://ns.adobe.com/hdr-gain-map/1.0/', 'hdrgm', (('Version', '1.0'),) + fields, True)


def tmap(*fractions):
    """ISO 21496-1: one channel, the base's colour space; headrooms, min, max, gamma, offsets."""
    return b'\0\0\0\0\0\x40' + b''.join(be(n, 4) + be(d, 4) for n, d in fractions)


# The photo, 256x192 as shown without its turn, and a map with a bright disc off its centre.
def photo(x, y): return (0.15 + 0.6 * x / 256, 0.2 + 0.7 * y / 192, 0.6 - 0.4 * x / 256)
def boost(x, y, w, h): return min(1.0, 0.05 + 0.6 * x / w * (0.3 + 0.7 * y / h) + (0.35 if math.hypot(x - 0.7 * w, y - 0.3 * h) < 0.15 * w else 0))


def gain_map_photo(turn=0, aux=APPLE, maker=(), map_turn=0, map_size=(128, 96), tiles=1, colour=False, deep=False,
                   map_xmp=b'', iso=None, map_of=(1,), broken=False, crop=()):
    """A grid primary of 2x2 tiles (cropped by clap(*crop), then turned `turn` quarters unless None) and its
    gain map, item 7, as one picture or a grid of `tiles` side by side (the last cut by the grid), turned `map_turn`."""
    turned = ([clap(*crop)] if crop else []) + ([] if turn is None else [irot(turn)])
    items = [(1, 'grid', grid(2, 2, 256, 192), [ispe(256, 192), nclx(1, 13, 6)] + turned, False)]
    for t in range(4):
        hvcC, data = code(128, 96, lambda x, y: photo(x + t % 2 * 128, y + t // 2 * 96))
        items.append((2 + t, 'hvc1', data, [hvcC, ispe(128, 96)], True))
    references = [('dimg', 1, [2, 3, 4, 5]), ('auxl', 7, list(map_of))]
    if maker:
        items, references = items + [(6, 'Exif', exif(maker), [], True)], references + [('cdsc', 6, [1])]
    w, h = map_size
    own = [ispe(w, h)] + ([] if map_turn is None else [irot(map_turn)]) + [auxC(aux)]
    level = lambda x, y: (boost(x, y, w, h),) * (3 if colour else 1)
    if tiles == 1:
        hvcC, data = code(w, h, level, grey=not colour, deep=deep)
        items.append((7, 'hvc1', b'\xff\xff\xff\xff' + data[4:] if broken else data, [hvcC] + own, True))
    else:
        side = w // tiles + 8
        items.append((7, 'grid', grid(1, tiles, w, h), own, True))
        for t in range(tiles):
            hvcC, data = code(side, h, lambda x, y: level(min(x + t * side, w - 1), y), grey=not colour, deep=deep)
            items.append((9 + t, 'hvc1', data, [hvcC, ispe(side, h)], True))
        references.append(('dimg', 7, [9 + t for t in range(tiles)]))
    if map_xmp:
        items, references = items + [(12, 'mime', map_xmp, [], True)], references + [('cdsc', 12, [7])]
    brands, groups = ['mif1', 'heic', 'miaf', 'MiHB', 'MiHE'], b''
    if iso:
        items.append((8, 'tmap', tmap(*iso), [ispe(256, 192)] + turned, False))
        references.append(('dimg', 8, [1, 7]))
        brands.append('tmap')
        groups = box('grpl', full('altr', 0, 0, be(100, 4), be(2, 4), be(8, 4), be(1, 4)))
    return assemble(items, references, brands, groups)


def pq_photo():
    """A 10-bit BT.2020 PQ picture turned a quarter: greys from 5 to 1000 cd/m2 left to right."""
    pq = lambda nits: ((0.8359375 + 18.8515625 * (nits / 1e4) ** 0.1593017578125) / (1 + 18.6875 * (nits / 1e4) ** 0.1593017578125)) ** 78.84375
    hvcC, data = code(128, 96, lambda x, y: (pq(5 * 200 ** (x / 127)),) * 2 + (pq(5 + 400 * y / 95),), deep=True, colour=(9, 16, 9))
    return assemble([(1, 'hvc1', data, [hvcC, ispe(128, 96), nclx(9, 16, 9), irot(1)], False)], [], ['mif1', 'heic', 'miaf'])


HEADROOM_17 = 2 ** 2.65  # Apple's formula for tags 33 = 1.2 and 48 = 0.005
MAKER_17, ISO_18 = [(0x21, 12, 10), (0x30, 5, 1000)], [(0, 1), (13, 10), (1, 8), (13, 10), (11, 10), (1, 64), (1, 32)]
def ios18(map_of): return gain_map_photo(turn=3, map_turn=3, tiles=2, maker=MAKER_17, iso=ISO_18, map_of=map_of)
def adobe_max(stops): return adobe_xmp(('GainMapMax', stops), ('HDRCapacityMax', stops))


# What each stands for: README.md.
SAMPLES = {
    'apple-gainmap-ios16': lambda: gain_map_photo(maker=[(0x21, 8786, 10000)], map_xmp=apple_xmp(('HDRGainMapVersion', 65536))),
    'apple-gainmap-ios17': lambda: gain_map_photo(turn=3, map_turn=3, maker=MAKER_17, map_xmp=apple_xmp(
        ('HDRGainMapVersion', 131072), ('HDRGainMapHeadroom', f'{HEADROOM_17:.6f}'))),
    'apple-gainmap-ios18-grid': lambda: ios18((1, 8)),
    'gainmap-aux-of-tmap': lambda: ios18((8,)),
    'apple-gainmap-ios18-one-target': lambda: ios18((1,)),
    'samsung-gainmap-tmap': lambda: gain_map_photo(turn=None, map_turn=None, aux=SAMSUNG, tiles=2, colour=True, map_xmp=adobe_max('1.5'),
                                                   iso=[(0, 1), (23, 10), (0, 1), (23, 10), (1, 1), (0, 1), (0, 1)]),
    'samsung-gainmap-xmp': lambda: gain_map_photo(turn=None, map_turn=None, aux=SAMSUNG, deep=True, map_xmp=adobe_xmp(
        ('GainMapMin', '0.25'), ('GainMapMax', '2.5'), ('Gamma', '1.2'), ('OffsetSDR', '0.015625'), ('OffsetHDR', '0.03125'),
        ('HDRCapacityMin', '0'), ('HDRCapacityMax', '2.5'))),
    'gainmap-stored-as-shown': lambda: gain_map_photo(turn=1, crop=(240, 160, 2, 4), map_turn=None, map_size=(96, 128), aux=SAMSUNG,
                                                      map_xmp=adobe_max('2')),
    'gainmap-misplaced': lambda: gain_map_photo(turn=1, map_turn=None, aux=SAMSUNG, map_xmp=adobe_max('2')),
    'apple-gainmap-broken': lambda: gain_map_photo(maker=MAKER_17, broken=True),
    'iso-gainmap-inconsistent': lambda: gain_map_photo(iso=[(0, 1), (13, 10), (1, 8), (13, 10), (0, 10), (1, 64), (1, 32)]),
    'aux-to-exif': lambda: gain_map_photo(maker=MAKER_17, map_of=(6,)),
    'pq-turned': pq_photo,
}

if __name__ == '__main__':
    for name, make in SAMPLES.items():
        open(f'{sys.argv[1]}/{name}.heic', 'wb').write(make())
