#!/usr/bin/env python3
"""Seeds the fuzz corpora from the generated content (a run directory).

    seeds.py RUN_DIR SOURCE_DIR CORPUS_DIR

Files small enough to mutate quickly are taken as they are; larger ones are
cut down to pieces of the same format: raw models node by node, the sky cube
as small DDS files in every uncompressed layout and DXT, with mip levels and
as a cube; PNG and TGA through ImageMagick's convert at 16x16 in several
colour types. Compiled models and shader token streams are derived by the
fuzz programs themselves (scripts/fuzz.sh, TARN_FUZZ_SAVE).
"""
import glob
import os
import shutil
import struct
import subprocess
import sys

SMALL = 64 * 1024


def put(corpus, target, name, data):
    d = os.path.join(corpus, target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


def copy_small(corpus, target, paths):
    for p in paths:
        if os.path.getsize(p) <= SMALL:
            put(corpus, target, os.path.basename(p), open(p, "rb").read())


def split_raw_model(corpus, path):
    """One raw file per node: name, placement, vertices and faces kept."""
    data = open(path, "rb").read()
    if data[:4] != b"MDLR":
        return
    (count,) = struct.unpack_from("<I", data, 4)
    pos = 8
    for n in range(count):
        start = pos
        pos = data.index(b"\0", pos) + 1 + 12 + 16 + 12
        (vertices,) = struct.unpack_from("<I", data, pos)
        pos += 4 + 12 * vertices
        (faces,) = struct.unpack_from("<I", data, pos)
        pos += 4 + 104 * faces
        if pos - start <= SMALL:
            base = os.path.splitext(os.path.basename(path))[0]
            put(corpus, "model_raw", "%s-node%d.mdl" % (base, n), b"MDLR" + struct.pack("<I", 1) + data[start:pos])


def sky_pixels(run):
    """An 8x8 BGRA picture sampled from the first face of the sky cube."""
    data = open(os.path.join(run, "Textures/SkyCube.dds"), "rb").read()
    height, width = struct.unpack_from("<II", data, 12)
    bpp = struct.unpack_from("<I", data, 88)[0] // 8
    out = bytearray()
    for y in range(8):
        for x in range(8):
            at = 128 + ((y * height // 8) * width + x * width // 8) * bpp
            b, g, r = data[at:at + 3]
            out += bytes((b, g, r, 255 - 16 * (x + y)))
    return bytes(out)


def dds(width, height, levels, cube, pf, level_bytes):
    flags = 0x1 | 0x2 | 0x4 | 0x1000 | (0x20000 if levels > 1 else 0)
    caps = 0x1000 | (0x400008 if levels > 1 else 0) | (0x8 if cube else 0)
    caps2 = 0xFE00 if cube else 0
    header = struct.pack("<4s7I44x", b"DDS ", 124, flags, height, width, 0, 0, levels)
    header += pf + struct.pack("<4I4x", caps, caps2, 0, 0)
    assert len(header) == 128
    body = b""
    for _ in range(6 if cube else 1):
        for level in range(levels):
            body += level_bytes(max(1, width >> level), max(1, height >> level))
    return header + body


def dds_seeds(corpus, run):
    pixels = sky_pixels(run)

    def pf(flags, bits, r, g, b, a, fourcc=b"\0\0\0\0"):
        return struct.pack("<II4s5I", 32, flags, fourcc, bits, r, g, b, a)

    def packed(bytes_per_pixel, pack):
        def level(w, h):
            out = b""
            for i in range(w * h):
                b, g, r, a = pixels[4 * (i % 64):4 * (i % 64) + 4]
                out += pack(r, g, b, a).to_bytes(4, "little")[:bytes_per_pixel]
            return out
        return level

    layouts = {
        "argb8888": (pf(0x41, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000), packed(4, lambda r, g, b, a: a << 24 | r << 16 | g << 8 | b)),
        "xrgb8888": (pf(0x40, 32, 0xFF0000, 0xFF00, 0xFF, 0), packed(4, lambda r, g, b, a: r << 16 | g << 8 | b)),
        "rgb888": (pf(0x40, 24, 0xFF0000, 0xFF00, 0xFF, 0), packed(3, lambda r, g, b, a: r << 16 | g << 8 | b)),
        "rgb565": (pf(0x40, 16, 0xF800, 0x7E0, 0x1F, 0), packed(2, lambda r, g, b, a: (r >> 3) << 11 | (g >> 2) << 5 | b >> 3)),
        "argb1555": (pf(0x41, 16, 0x7C00, 0x3E0, 0x1F, 0x8000), packed(2, lambda r, g, b, a: (a >> 7) << 15 | (r >> 3) << 10 | (g >> 3) << 5 | b >> 3)),
        "argb4444": (pf(0x41, 16, 0xF00, 0xF0, 0xF, 0xF000), packed(2, lambda r, g, b, a: (a >> 4) << 12 | (r >> 4) << 8 | (g >> 4) << 4 | b >> 4)),
        "l8": (pf(0x20000, 8, 0xFF, 0, 0, 0), packed(1, lambda r, g, b, a: g)),
        "a8": (pf(0x2, 8, 0, 0, 0, 0xFF), packed(1, lambda r, g, b, a: a)),
    }
    for fourcc, block in ((b"DXT1", 8), (b"DXT3", 16), (b"DXT5", 16)):
        def level(w, h, block=block):
            n = ((w + 3) // 4) * ((h + 3) // 4) * block
            return (pixels * (n // len(pixels) + 1))[:n]
        layouts[fourcc.decode().lower()] = (pf(0x4, 0, 0, 0, 0, 0, fourcc), level)
    for name, (pixel_format, level) in layouts.items():
        put(corpus, "image_dds", name + ".dds", dds(8, 8, 4, False, pixel_format, level))
        put(corpus, "image_dds", name + "-cube.dds", dds(4, 4, 3, True, pixel_format, level))
        put(corpus, "image_dds", name + "-5x3.dds", dds(5, 3, 1, False, pixel_format, level))


def convert_seeds(corpus, run):
    if not shutil.which("convert"):
        print("seeds.py: no ImageMagick convert, PNG and TGA seeds only from small files")
        return
    sources = [p for p in glob.glob(os.path.join(run, "Textures/**/*"), recursive=True)
               if p.endswith((".png", ".tga"))]
    variants = {
        "image_png": [("rgb", []), ("rgba", ["-alpha", "on"]), ("gray", ["-colorspace", "Gray"]),
                      ("palette", ["-colors", "16", "-type", "Palette"]), ("deep", ["-depth", "16"]),
                      ("interlaced", ["-interlace", "PNG"])],
        "image_tga": [("rgb", ["-alpha", "off"]), ("rgba", ["-alpha", "on"]), ("rle", ["-compress", "RLE"]),
                      ("gray", ["-colorspace", "Gray"]), ("palette", ["-colors", "16", "-type", "Palette"])],
    }
    for src in sources:
        base = os.path.splitext(os.path.basename(src))[0]
        for target, kinds in variants.items():
            ext = "png" if target == "image_png" else "tga"
            for kind, options in kinds:
                out = os.path.join(corpus, target, "%s-%s.%s" % (base, kind, ext))
                os.makedirs(os.path.dirname(out), exist_ok=True)
                subprocess.run(["convert", src, "-resize", "16x16!"] + options + [out], check=True)


def main():
    run, source, corpus = sys.argv[1:4]
    models = glob.glob(os.path.join(run, "Models/*.mdl"))
    copy_small(corpus, "model_raw", models)
    for m in models:
        split_raw_model(corpus, m)
    copy_small(corpus, "font", glob.glob(os.path.join(run, "Fonts/*.fnt")))
    copy_small(corpus, "shader_asm", glob.glob(os.path.join(run, "Shaders/*")))
    copy_small(corpus, "flight_script", glob.glob(os.path.join(source, "tests/aircraft/scenarios/*.txt")))
    dds_seeds(corpus, run)
    convert_seeds(corpus, run)


if __name__ == "__main__":
    main()
