#!/usr/bin/env python3
"""Writes the stand-in APK template that tf_setup carries as resource 111.

A zip of nine stored entries without extra fields, in the order of the
shipped template: the compiled AndroidManifest.xml, the launcher icon in five
densities (drawn from tf_setup's own icon), resources.arsc and two native
library stand-ins. Only the standard library is used, and nothing depends on
the time or the machine, so every run writes the same bytes.

    make_apk_template.py --icon setup/resources/tf_setup.ico --output apk_template.zip
"""
import argparse
import os
import struct
import sys
import zlib

PACKAGE = "com.tarnfell.game"
VERSION_CODE = 1
VERSION_NAME = "1.0.0"
MIN_SDK = 26
# A package signed with the JAR scheme alone installs only when it targets
# API 29 or lower: from API 30 on Android asks for the APK signature scheme v2.
TARGET_SDK = 29
LABEL = "Tarnfell"
NATIVE_LIB = "tfapp"  # lib/arm64-v8a/libtfapp.so, started by NativeActivity

# Launcher icon: (folder qualifier, density in dpi, pixels).
DENSITIES = [
    ("mdpi", 160, 48),
    ("hdpi", 240, 72),
    ("xhdpi", 320, 96),
    ("xxhdpi", 480, 144),
    ("xxxhdpi", 640, 192),
]
ICON_NAME = "ic_launcher"
ICON_PATHS = ["res/mipmap-%s-v4/%s.png" % (q, ICON_NAME) for q, _, _ in DENSITIES]
ICON_RESOURCE_ID = 0x7F010000  # package 0x7f, type 1 ("mipmap"), entry 0

STANDIN_TEXT = (
    "This file is a stand-in made by the Tarnfell installer's own build "
    "(payload/apk_template/make_apk_template.py) in place of {path}.\n"
    "It is not the game's library and holds no code. A real APK template, with "
    "the game's Android application, is supplied through TF_PAYLOAD_DIR as "
    "apk_template.zip.\n"
)


class TemplateError(Exception):
    pass


# ---- PNG ----------------------------------------------------------------

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def png_chunks(data):
    if data[:8] != PNG_SIGNATURE:
        raise TemplateError("not a PNG image")
    at = 8
    while at + 12 <= len(data):
        (length,) = struct.unpack_from(">I", data, at)
        kind = data[at + 4:at + 8]
        body = data[at + 8:at + 8 + length]
        if len(body) != length:
            raise TemplateError("PNG chunk runs past the end")
        yield kind, body
        at += 12 + length


def unfilter(raw, stride, height, bpp):
    rows = []
    prev = bytearray(stride)
    at = 0
    for _ in range(height):
        if at + 1 + stride > len(raw):
            raise TemplateError("PNG image data is short")
        kind = raw[at]
        line = bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        if kind == 1:
            for i in range(bpp, stride):
                line[i] = (line[i] + line[i - bpp]) & 0xFF
        elif kind == 2:
            for i in range(stride):
                line[i] = (line[i] + prev[i]) & 0xFF
        elif kind == 3:
            for i in range(stride):
                left = line[i - bpp] if i >= bpp else 0
                line[i] = (line[i] + ((left + prev[i]) >> 1)) & 0xFF
        elif kind == 4:
            for i in range(stride):
                a = line[i - bpp] if i >= bpp else 0
                c = prev[i - bpp] if i >= bpp else 0
                line[i] = (line[i] + paeth(a, prev[i], c)) & 0xFF
        elif kind != 0:
            raise TemplateError("unknown PNG filter %d" % kind)
        rows.append(line)
        prev = line
    return rows


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def decode_png(data):
    """Returns (width, height, RGBA bytes, 8 bits a channel)."""
    header = None
    idat = bytearray()
    for kind, body in png_chunks(data):
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
    if header is None:
        raise TemplateError("PNG without IHDR")
    width, height, depth, colour, _, _, interlace = header
    channels = {0: 1, 2: 3, 4: 2, 6: 4}.get(colour)
    if channels is None or depth not in (8, 16) or interlace != 0:
        raise TemplateError("unsupported PNG (colour type %d, depth %d, interlace %d)" % (colour, depth, interlace))
    sample = depth // 8
    bpp = channels * sample
    rows = unfilter(zlib.decompress(bytes(idat)), width * bpp, height, bpp)
    out = bytearray()
    for line in rows:
        for x in range(width):
            px = [line[x * bpp + c * sample] for c in range(channels)]  # high byte of 16-bit samples
            if channels == 1:
                px = px * 3 + [255]
            elif channels == 2:
                px = [px[0]] * 3 + [px[1]]
            elif channels == 3:
                px = px + [255]
            out += bytes(px)
    return width, height, bytes(out)


def decode_dib(data, width, height):
    """A 32-bit icon bitmap (bottom-up BGRA, height doubled for the mask)."""
    size, w, h2, _, bits = struct.unpack_from("<IiiHH", data, 0)
    if bits != 32 or w != width or abs(h2) != 2 * height:
        raise TemplateError("unsupported icon bitmap (%d bits)" % bits)
    pixels = data[size:size + width * height * 4]
    if len(pixels) != width * height * 4:
        raise TemplateError("icon bitmap is short")
    out = bytearray()
    for y in range(height):
        src = height - 1 - y if h2 > 0 else y
        for x in range(width):
            b, g, r, a = pixels[(src * width + x) * 4:(src * width + x) * 4 + 4]
            out += bytes((r, g, b, a))
    return bytes(out)


def largest_icon_image(ico):
    reserved, kind, count = struct.unpack_from("<HHH", ico, 0)
    if reserved != 0 or kind != 1 or count == 0:
        raise TemplateError("not an icon file")
    best = None
    for i in range(count):
        w, h, _, _, _, _, size, offset = struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i)
        w, h = w or 256, h or 256
        if best is None or w * h > best[0] * best[1]:
            best = (w, h, ico[offset:offset + size])
    w, h, data = best
    if data[:8] == PNG_SIGNATURE:
        pw, ph, rgba = decode_png(data)
        return pw, ph, rgba
    return w, h, decode_dib(data, w, h)


def box_weights(src, dst):
    """Per output pixel: (source index, overlap) in units of 1/dst of a source pixel."""
    weights = []
    for o in range(dst):
        lo, hi = o * src, (o + 1) * src  # the output pixel in source units times dst
        row = []
        for i in range(lo // dst, min(src, -(-hi // dst))):
            overlap = min(hi, (i + 1) * dst) - max(lo, i * dst)
            if overlap > 0:
                row.append((i, overlap))
        weights.append(row)
    return weights


def resize(width, height, rgba, size):
    """Area average with premultiplied alpha, in exact integer arithmetic."""
    wx = box_weights(width, size)
    wy = box_weights(height, size)
    # Premultiplied rows, then the horizontal pass.
    rows = []
    for y in range(height):
        base = y * width * 4
        pre = []
        for x in range(width):
            r, g, b, a = rgba[base + 4 * x:base + 4 * x + 4]
            pre.append((r * a, g * a, b * a, a))
        line = []
        for row in wx:
            acc = [0, 0, 0, 0]
            for i, w in row:
                p = pre[i]
                acc[0] += p[0] * w
                acc[1] += p[1] * w
                acc[2] += p[2] * w
                acc[3] += p[3] * w
            line.append(acc)
        rows.append(line)
    out = bytearray()
    area = width * height  # sum of all weights of one output pixel
    for col in wy:
        for x in range(size):
            acc = [0, 0, 0, 0]
            for j, w in col:
                p = rows[j][x]
                acc[0] += p[0] * w
                acc[1] += p[1] * w
                acc[2] += p[2] * w
                acc[3] += p[3] * w
            alpha = (acc[3] + area // 2) // area
            if acc[3] == 0:
                out += b"\0\0\0\0"
                continue
            out += bytes([min(255, (acc[c] + acc[3] // 2) // acc[3]) for c in range(3)] + [alpha])
    return bytes(out)


def encode_png(size, rgba):
    stride = size * 4
    raw = bytearray()
    prev = bytes(stride)
    for y in range(size):
        line = rgba[y * stride:(y + 1) * stride]
        raw.append(4)  # Paeth on every row
        for i in range(stride):
            a = line[i - 4] if i >= 4 else 0
            c = prev[i - 4] if i >= 4 else 0
            raw.append((line[i] - paeth(a, prev[i], c)) & 0xFF)
        prev = line

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    return (PNG_SIGNATURE + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


# ---- Android resource chunks ---------------------------------------------

RES_STRING_POOL = 0x0001
RES_TABLE = 0x0002
RES_XML = 0x0003
RES_XML_START_NAMESPACE = 0x0100
RES_XML_END_NAMESPACE = 0x0101
RES_XML_START_ELEMENT = 0x0102
RES_XML_END_ELEMENT = 0x0103
RES_XML_RESOURCE_MAP = 0x0180
RES_TABLE_PACKAGE = 0x0200
RES_TABLE_TYPE = 0x0201
RES_TABLE_TYPE_SPEC = 0x0202

TYPE_REFERENCE = 0x01
TYPE_STRING = 0x03
TYPE_INT_DEC = 0x10
TYPE_INT_HEX = 0x11
TYPE_INT_BOOLEAN = 0x12

NO_INDEX = 0xFFFFFFFF


def pad4(data):
    return data + b"\0" * (-len(data) % 4)


def chunk(kind, header, body):
    """A chunk: type, header size, total size, the rest of the header, the body."""
    return struct.pack("<HHI", kind, 8 + len(header), 8 + len(header) + len(body)) + header + body


def string_pool(strings):
    """UTF-16 string pool without styles."""
    offsets, data = [], bytearray()
    for s in strings:
        units = s.encode("utf-16-le")
        if len(units) // 2 > 0x7FFF:
            raise TemplateError("string too long for the pool")
        offsets.append(len(data))
        data += struct.pack("<H", len(units) // 2) + units + b"\0\0"
    header = struct.pack("<IIIII", len(strings), 0, 0, 28 + 4 * len(strings), 0)
    return chunk(RES_STRING_POOL, header, pad4(struct.pack("<%dI" % len(strings), *offsets) + bytes(data)))


# Framework attribute ids (android:...).
ATTRIBUTE_IDS = {
    "label": 0x01010001,
    "icon": 0x01010002,
    "name": 0x01010003,
    "hasCode": 0x0101000C,
    "exported": 0x01010010,
    "configChanges": 0x0101001F,
    "value": 0x01010024,
    "minSdkVersion": 0x0101020C,
    "versionCode": 0x0101021B,
    "versionName": 0x0101021C,
    "targetSdkVersion": 0x01010270,
    "glEsVersion": 0x01010281,
    "required": 0x0101028E,
}
ANDROID_PREFIX = "android"
ANDROID_NS = "http://schemas.android.com/apk/res/android"
CONFIG_CHANGES = 0x80 | 0x20 | 0x400  # orientation | keyboardHidden | screenSize


def a(name, kind, value):
    """An android: attribute."""
    return (True, name, kind, value)


def plain(name, value):
    """A string attribute without a namespace."""
    return (False, name, TYPE_STRING, value)


def manifest_tree():
    return ("manifest", [a("versionCode", TYPE_INT_DEC, VERSION_CODE), a("versionName", TYPE_STRING, VERSION_NAME),
                         plain("package", PACKAGE)], [
        ("uses-sdk", [a("minSdkVersion", TYPE_INT_DEC, MIN_SDK), a("targetSdkVersion", TYPE_INT_DEC, TARGET_SDK)], []),
        ("uses-feature", [a("glEsVersion", TYPE_INT_HEX, 0x00030000), a("required", TYPE_INT_BOOLEAN, True)], []),
        ("application", [a("label", TYPE_STRING, LABEL), a("icon", TYPE_REFERENCE, ICON_RESOURCE_ID),
                         a("hasCode", TYPE_INT_BOOLEAN, False)], [
            ("activity", [a("name", TYPE_STRING, "android.app.NativeActivity"), a("label", TYPE_STRING, LABEL),
                          a("exported", TYPE_INT_BOOLEAN, True),
                          a("configChanges", TYPE_INT_HEX, CONFIG_CHANGES)], [
                ("meta-data", [a("name", TYPE_STRING, "android.app.lib_name"),
                               a("value", TYPE_STRING, NATIVE_LIB)], []),
                ("intent-filter", [], [
                    ("action", [a("name", TYPE_STRING, "android.intent.action.MAIN")], []),
                    ("category", [a("name", TYPE_STRING, "android.intent.category.LAUNCHER")], []),
                ]),
            ]),
        ]),
    ])


def binary_xml(tree):
    """Android's compiled XML: string pool, resource map, then the nodes."""
    attribute_names = sorted({attr[1] for attr in walk_attributes(tree) if attr[0]}, key=lambda n: ATTRIBUTE_IDS[n])
    strings = list(attribute_names)  # first, in resource-map order

    def index(s):
        if s not in strings:
            strings.append(s)
        return strings.index(s)

    index(ANDROID_PREFIX)
    ns = index(ANDROID_NS)
    nodes = bytearray()
    line = [1]

    def node(kind, body):
        nodes.extend(chunk(kind, struct.pack("<II", line[0], NO_INDEX), body))
        line[0] += 1

    def element(tag, attributes, children):
        encoded = []
        for is_android, name, kind, value in sorted(
                attributes, key=lambda t: ATTRIBUTE_IDS[t[1]] if t[0] else NO_INDEX):
            raw = NO_INDEX
            if kind == TYPE_STRING:
                raw = data = index(value)
            elif kind == TYPE_INT_BOOLEAN:
                data = 0xFFFFFFFF if value else 0
            else:
                data = value
            encoded.append(struct.pack("<IIIHBBI", ns if is_android else NO_INDEX, index(name), raw, 8, 0, kind, data))
        name = index(tag)
        node(RES_XML_START_ELEMENT,
             struct.pack("<IIHHHHHH", NO_INDEX, name, 20, 20, len(encoded), 0, 0, 0) + b"".join(encoded))
        for child in children:
            element(*child)
        node(RES_XML_END_ELEMENT, struct.pack("<II", NO_INDEX, name))

    node(RES_XML_START_NAMESPACE, struct.pack("<II", strings.index(ANDROID_PREFIX), ns))
    element(*tree)
    node(RES_XML_END_NAMESPACE, struct.pack("<II", strings.index(ANDROID_PREFIX), ns))

    resource_map = chunk(RES_XML_RESOURCE_MAP, b"",
                         struct.pack("<%dI" % len(attribute_names), *[ATTRIBUTE_IDS[n] for n in attribute_names]))
    return chunk(RES_XML, b"", string_pool(strings) + resource_map + bytes(nodes))


def walk_attributes(tree):
    _, attributes, children = tree
    yield from attributes
    for child in children:
        yield from walk_attributes(child)


CONFIG_SIZE = 64
CONFIG_DENSITY = 0x0100  # the entry varies by screen density


def density_config(dpi):
    """A ResTable_config that differs from the default only in density (and the implied v4)."""
    config = bytearray(CONFIG_SIZE)
    struct.pack_into("<I", config, 0, CONFIG_SIZE)
    struct.pack_into("<H", config, 14, dpi)  # screenType: orientation, touchscreen, density
    struct.pack_into("<H", config, 24, 4)    # version: sdkVersion
    return bytes(config)


def resource_table():
    """resources.arsc: package 0x7f with one type, mipmap, and its one entry, ic_launcher."""
    values = string_pool(ICON_PATHS)
    type_spec = chunk(RES_TABLE_TYPE_SPEC, struct.pack("<BBHI", 1, 0, 0, 1), struct.pack("<I", CONFIG_DENSITY))
    types = b""
    for path_index, (_, dpi, _) in enumerate(DENSITIES):
        header = struct.pack("<BBHII", 1, 0, 0, 1, 8 + 12 + CONFIG_SIZE + 4) + density_config(dpi)
        entry = struct.pack("<HHI", 8, 0, 0) + struct.pack("<HBBI", 8, 0, TYPE_STRING, path_index)
        types += chunk(RES_TABLE_TYPE, header, struct.pack("<I", 0) + entry)
    type_names = string_pool(["mipmap"])
    key_names = string_pool([ICON_NAME])
    name = PACKAGE.encode("utf-16-le").ljust(256, b"\0")
    package_header_size = 8 + 4 + 256 + 20
    header = struct.pack("<I", 0x7F) + name + struct.pack(
        "<IIIII", package_header_size, 1, package_header_size + len(type_names), 1, 0)
    package = chunk(RES_TABLE_PACKAGE, header, type_names + key_names + type_spec + types)
    return chunk(RES_TABLE, struct.pack("<I", 1), values + package)


# ---- zip ------------------------------------------------------------------

def stored_zip(entries):
    """Stored entries, no extra fields, no times: the same bytes on every run."""
    out, central = bytearray(), bytearray()
    for name, data in entries:
        raw = name.encode("utf-8")
        crc = zlib.crc32(data)
        offset = len(out)
        out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 0, 0, 0, crc, len(data), len(data), len(raw), 0)
        out += raw + data
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 0, 0, 0, crc, len(data), len(data),
                               len(raw), 0, 0, 0, 0, 0, offset)
        central += raw
    directory = len(out)
    out += central
    out += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central), directory, 0)
    return bytes(out)


def template_entries(icon_path):
    with open(icon_path, "rb") as f:
        width, height, rgba = largest_icon_image(f.read())
    entries = [("AndroidManifest.xml", binary_xml(manifest_tree()))]
    for path, (_, _, pixels) in zip(ICON_PATHS, DENSITIES):
        entries.append((path, encode_png(pixels, resize(width, height, rgba, pixels))))
    entries.append(("resources.arsc", resource_table()))
    for lib in ("libtfapp.so", "libtfgame.so"):
        path = "lib/arm64-v8a/" + lib
        entries.append((path, STANDIN_TEXT.format(path=path).encode("ascii")))
    return entries


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--icon", required=True, help="the icon file to draw the launcher icon from")
    parser.add_argument("--output", required=True, help="the template zip to write")
    args = parser.parse_args()
    try:
        data = stored_zip(template_entries(args.icon))
    except (OSError, TemplateError, zlib.error, struct.error) as e:
        print("make_apk_template: %s" % e, file=sys.stderr)
        return 1
    folder = os.path.dirname(os.path.abspath(args.output))
    os.makedirs(folder, exist_ok=True)
    temporary = args.output + ".tmp"
    with open(temporary, "wb") as f:
        f.write(data)
    os.replace(temporary, args.output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
