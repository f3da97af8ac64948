"""Picture files for the end-to-end tests, made at test time, and a saver
to show them.

good_picture() draws a picture of a given natural size in one of several
formats with ImageMagick; bad_files() writes files that must never be shown
and never crash or hang the saver: empty, random, text, an executable, a
directory, cut short, corrupt, claiming enormous or empty sizes, sizes that
overflow 32 bits, decompression bombs and a 1 GB sparse file.
"""

import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

CONVERT = "/usr/bin/convert" if os.path.exists("/usr/bin/convert") else "convert"


def run_convert(*args):
    subprocess.run([CONVERT, *args], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=120)


# Formats good_picture() makes: (name, ImageMagick output prefix, extra options).
FORMATS = {
    "bmp": ("BMP3:", []),
    "rle-bmp": ("BMP3:", ["-colors", "200", "-compress", "RLE"]),
    "jpeg": ("JPEG:", ["-quality", "92"]),
    "progressive-jpeg": ("JPEG:", ["-interlace", "JPEG", "-quality", "92"]),
    "cmyk-jpeg": ("JPEG:", ["-colorspace", "CMYK", "-quality", "92"]),
    "png": ("PNG24:", []),
    "palette-png": ("PNG8:", []),
    "png16": ("PNG48:", ["-depth", "16"]),
    "gif": ("GIF:", []),
    "tiff": ("TIFF:", ["-compress", "lzw"]),
}


def good_picture(path, width, height, fmt="png"):
    """A picture with a bright frame at its very edges (so its bounding box on
    a black screen is its whole area) and a gradient inside."""
    prefix, extra = FORMATS[fmt]
    border = max(1, min(width, height) // 40)
    run_convert("-size", f"{width}x{height}", "gradient:#ff8000-#2060ff",
                "-fill", "none", "-stroke", "#ffffff", "-strokewidth", str(border * 2),
                "-draw", f"rectangle 0,0 {width - 1},{height - 1}",
                *extra, prefix + str(path))


def with_exif_orientation(jpeg, orientation, big_endian=False):
    """The JPEG bytes with an Exif APP1 segment holding only the orientation
    tag, right after SOI."""
    e = ">" if big_endian else "<"
    tiff = (b"MM\0*" if big_endian else b"II*\0") + struct.pack(e + "I", 8)
    tiff += struct.pack(e + "HHHIHHI", 1, 0x0112, 3, 1, orientation, 0, 0)
    body = b"Exif\0\0" + tiff
    return jpeg[:2] + b"\xff\xe1" + struct.pack(">H", len(body) + 2) + body + jpeg[2:]


# ---------------------------------------------------------------- building blocks

def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(
        ">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def png(width, height, idat=None, depth=8, colour=2):
    """A PNG with the given IHDR; the image data is `idat` or a small valid
    stream of zeros for a 1x1 picture."""
    if idat is None:
        idat = zlib.compress(b"\0" * 4)
    return (b"\x89PNG\r\n\x1a\n"
            + png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, 0))
            + png_chunk(b"IDAT", idat)
            + png_chunk(b"IEND", b""))


def png_bomb(width, height, white=False):
    """A 1-bit greyscale PNG of width x height, all black (or all white): a
    few hundred KB that inflate to width * height / 8 bytes and decode to 4
    bytes a pixel."""
    row = b"\0" + (b"\xff" if white else b"\0") * ((width + 7) // 8)
    compressor = zlib.compressobj(9)
    parts = [compressor.compress(row) for _ in range(height)]
    parts.append(compressor.flush())
    return png(width, height, b"".join(parts), depth=1, colour=0)


def gif(screen_w, screen_h, frame_w, frame_h, lzw=b"\x02\x02\x4c\x01\x00"):
    return (b"GIF89a" + struct.pack("<HHBBB", screen_w, screen_h, 0x80, 0, 0)
            + b"\0\0\0\xff\xff\xff"
            + b"\x2c" + struct.pack("<HHHHB", 0, 0, frame_w, frame_h, 0)
            + lzw + b"\x3b")


def bmp(width, height, bits=24, pixels=b""):
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(pixels), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + 40 + len(pixels), 0, 0, 54) + info + pixels


def jpeg_header(width, height):
    """SOI, a frame header of width x height and the start of a scan with no
    real data."""
    sof = struct.pack(">BHHB", 8, height, width, 1) + b"\x01\x11\x00"
    return (b"\xff\xd8" + b"\xff\xc0" + struct.pack(">H", len(sof) + 2) + sof
            + b"\xff\xda\x00\x08\x01\x01\x00\x00\x3f\x00" + b"\x00" * 64 + b"\xff\xd9")


def tiff_header(width, height):
    """Little-endian TIFF with LONG sizes and one strip of 16 bytes."""
    entries = [(256, 4, 1, width), (257, 4, 1, height), (258, 3, 1, 8), (259, 3, 1, 1),
               (262, 3, 1, 1), (273, 4, 1, 8 + 2 + 12 * 8 + 4), (278, 4, 1, height),
               (279, 4, 1, 16)]
    ifd = struct.pack("<H", len(entries))
    for tag, kind, count, value in entries:
        ifd += struct.pack("<HHII", tag, kind, count, value)
    return b"II*\0" + struct.pack("<I", 8) + ifd + struct.pack("<I", 0) + b"\0" * 16


# ---------------------------------------------------------------- the corpus

def bad_files(folder, exe_path=None, seed=1234):
    """Writes the bad files into `folder` and returns their names in order.
    Names are descriptive; the caller renames them to ZARVOnnn.DAT."""
    rng = random.Random(seed)
    made = []

    def write(name, data):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        made.append(name)

    def from_good(name, fmt, mutate, width=320, height=240):
        tmp = os.path.join(folder, ".tmp-" + name)
        good_picture(tmp, width, height, fmt)
        with open(tmp, "rb") as f:
            data = f.read()
        os.remove(tmp)
        write(name, mutate(data))

    write("empty", b"")
    write("random", bytes(rng.getrandbits(8) for _ in range(100_000)))
    write("text", "これは絵ではありません。This is not a picture.\r\n".encode("utf-8") * 50)
    if exe_path and os.path.exists(exe_path):
        shutil.copyfile(exe_path, os.path.join(folder, "exe"))
        made.append("exe")
    os.mkdir(os.path.join(folder, "directory"))
    made.append("directory")

    # Cut short, and corrupt, in each format.
    for fmt in ("jpeg", "png", "gif", "bmp"):
        from_good("truncated-" + fmt, fmt, lambda d: d[: len(d) // 3])
        from_good("header-only-" + fmt, fmt, lambda d: d[:30])

    def scramble(data):
        data = bytearray(data)
        for i in range(len(data) // 4, len(data), 7):
            data[i] = rng.getrandbits(8)
        return bytes(data)

    for fmt in ("jpeg", "png", "gif", "bmp"):
        from_good("corrupt-" + fmt, fmt, scramble)

    # Headers claiming 65535 x 65535, with next to no data behind them.
    write("huge-png", png(65535, 65535))
    write("huge-jpeg", jpeg_header(65535, 65535))
    write("huge-gif", gif(65535, 65535, 65535, 65535))
    write("huge-bmp", bmp(65535, 65535, pixels=b"\0" * 64))
    write("huge-tiff", tiff_header(65535, 65535))
    # Small on disk, gigabytes decoded.
    write("bomb-png", png_bomb(60000, 60000))
    write("bomb-gif", gif(16, 16, 65535, 65535))
    # Zero sizes.
    write("zero-png", png(0, 100))
    write("zero-bmp", bmp(0, 100))
    write("zero-gif", gif(0, 0, 0, 0))
    write("zero-jpeg", jpeg_header(100, 0))
    # Sizes whose byte counts overflow 32 bits: 32768 x 32768 x 4 = 2^32.
    write("overflow-png", png(32768, 32768))
    write("overflow-bmp", bmp(0x7FFFFFFF, 0x7FFFFFFF))
    write("overflow-tiff", tiff_header(0x80000000, 0x80000000))
    write("negative-bmp", bmp(-100, -2147483648))
    # 1 GB, sparse, starting like a JPEG.
    sparse = os.path.join(folder, "sparse")
    with open(sparse, "wb") as f:
        f.write(jpeg_header(640, 480)[:20])
        f.truncate(1 << 30)
    made.append("sparse")
    return made


# ---------------------------------------------------------------- the saver

SAVER_CLASS = "ZarvoScreen"


def zarvo_scr():
    path = os.environ.get("ZARVO_SCR") or os.path.join(harness.REPO_ROOT, "build", "win32",
                                                       "zarvo.scr")
    if not os.path.isfile(path):
        raise harness.HarnessError("no zarvo.scr at %s (build the win32 preset)" % path)
    return path


class SaverFolder:
    """A temporary folder holding a copy of zarvo.scr, where the tests put
    ZARVOnnn.DAT files and start the saver."""

    def __init__(self, session):
        self.s = session
        self.folder = tempfile.mkdtemp(prefix="zarvo-pictures-")
        self.scr = os.path.join(self.folder, "zarvo.scr")
        shutil.copy(zarvo_scr(), self.scr)

    def picture(self, index):
        return os.path.join(self.folder, "ZARVO%03d.DAT" % index)

    def clear(self):
        for name in os.listdir(self.folder):
            path = os.path.join(self.folder, name)
            if name.upper().startswith("ZARVO") and name.upper().endswith(".DAT"):
                if os.path.isdir(path):
                    shutil.rmtree(path)
                else:
                    os.remove(path)

    def remove(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def start(self, timeout=30):
        """Starts the saver; returns (Popen, window dict or None)."""
        p = self.s.start_program(self.scr, "/s", cwd=self.folder)
        window = self.s.wait_window(cls=SAVER_CLASS, timeout=timeout)
        return p, window


def memory_kib(pid):
    """Resident and peak resident memory (KiB) of a process, from /proc."""
    values = {}
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                key, _, rest = line.partition(":")
                if key in ("VmRSS", "VmHWM"):
                    values[key] = int(rest.split()[0])
    except OSError:
        return None, None
    return values.get("VmRSS"), values.get("VmHWM")


def box_of(img, threshold=40):
    """(left, top, width, height) of the non-black pixels, or None."""
    box = harness.bbox_non_black(img, threshold=threshold)
    if box is None:
        return None
    left, top, right, bottom = box
    return (left, top, right - left, bottom - top)


def wait_for_box(session, predicate, timeout):
    """The box of the first screenshot that satisfies predicate, else the last."""
    end = time.monotonic() + timeout
    while True:
        box = box_of(session.screenshot())
        if predicate(box) or time.monotonic() >= end:
            return box
        time.sleep(0.2)

