"""Pictures made at test time, good ones in each format the saver decodes and
bad ones it must never show nor crash on."""
import ctypes
import io
import os
import random
import struct
import subprocess
import zlib

from PIL import Image, ImageCms

from saver_fixture import convert

# ImageMagick's output prefix and options for each format.
FORMATS = {
    'bmp': 'BMP3:', 'jpeg': 'JPEG: -quality 92', 'cmyk-jpeg': 'JPEG: -colorspace CMYK -quality 92',
    'png': 'PNG24:', 'palette-png': 'PNG8:', 'png16': 'PNG48: -depth 16',
    # Over 4 MiB: the decoder reads it from the file; its directory lies at
    # its end, beyond the head that is read into memory.
    'big-tiff': 'TIFF: -compress none',
    # The frame a quarter of the way into a logical screen twice its size.
    'placed-gif': 'GIF: -repage {2w}x{2h}+{w2}+{h2}',
    # Three images, the largest in the middle.
    'ico': 'ICO: -define icon:auto-resize=48,{w},16',
    # Formats only the system's codecs know, found by their content.
    'dds': 'DDS: -define dds:compression=none', 'tga': 'TGA:',
    'jxr': 'BMP3:',  # then JxrEncApp makes JPEG XR of it
}


def good_picture(path, width, height, fmt='png'):
    """A gradient with a bright frame at its very edges, so that its box on
    a black screen is its whole area."""
    prefix, *extra = FORMATS[fmt].format(w=width, **{'2w': 2 * width, '2h': 2 * height},
                                         w2=width // 2, h2=height // 2).split()
    source = f'{path}.bmp' if fmt == 'jxr' else str(path)
    convert('-size', f'{width}x{height}', 'gradient:#ff8000-#2060ff', '-fill', 'none',
            '-stroke', '#ffffff', '-strokewidth', 2 * max(1, min(width, height) // 40),
            '-draw', f'rectangle 0,0 {width - 1},{height - 1}', *extra, prefix + source)
    if fmt == 'jxr':
        subprocess.run(['JxrEncApp', '-i', source, '-o', f'{path}.jxr', '-q', '1'], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        os.replace(f'{path}.jxr', path)
        os.remove(source)


def display_p3_profile():
    """The bytes of a Display P3 profile (version 4, the sRGB curve), made by
    Little CMS (Debian's liblcms2, a test tool only)."""
    lcms, void = ctypes.CDLL('liblcms2.so.2'), ctypes.c_void_p
    lcms.cmsBuildParametricToneCurve.restype = lcms.cmsCreateRGBProfile.restype = void
    lcms.cmsBuildParametricToneCurve.argtypes = [void, ctypes.c_int, void]
    lcms.cmsCreateRGBProfile.argtypes = [void] * 3
    lcms.cmsSaveProfileToMem.argtypes = [void, void, ctypes.POINTER(ctypes.c_uint32)]
    lcms.cmsFreeToneCurve.argtypes = lcms.cmsCloseProfile.argtypes = [void]
    doubles = lambda *v: (ctypes.c_double * len(v))(*v)  # noqa: E731
    curve = lcms.cmsBuildParametricToneCurve(None, 4, doubles(2.4, 1 / 1.055, 0.055 / 1.055,
                                                              1 / 12.92, 0.04045))
    profile = lcms.cmsCreateRGBProfile(doubles(0.3127, 0.3290, 1), doubles(
        0.680, 0.320, 1, 0.265, 0.690, 1, 0.150, 0.060, 1), (void * 3)(curve, curve, curve))
    lcms.cmsFreeToneCurve(curve)
    size = ctypes.c_uint32(0)
    lcms.cmsSaveProfileToMem(profile, None, ctypes.byref(size))
    data = ctypes.create_string_buffer(size.value)
    lcms.cmsSaveProfileToMem(profile, data, ctypes.byref(size))
    lcms.cmsCloseProfile(profile)
    return data.raw[:size.value]


def p3_to_srgb(rgb):
    """The 8-bit sRGB colour of an 8-bit Display P3 one, relative colorimetric."""
    p3 = ImageCms.ImageCmsProfile(io.BytesIO(display_p3_profile()))
    return ImageCms.profileToProfile(Image.new('RGB', (1, 1), rgb), p3, ImageCms.createProfile(
        'sRGB'), renderingIntent=ImageCms.Intent.RELATIVE_COLORIMETRIC).getpixel((0, 0))


def png_bomb(width, height, white=False):
    """A 1-bit greyscale PNG, all black (or white): small on disk, 4 bytes a
    pixel decoded."""
    row = b'\0' + (b'\xff' if white else b'\0') * ((width + 7) // 8)
    compressor = zlib.compressobj(9)
    idat = b''.join(compressor.compress(row) for _ in range(height)) + compressor.flush()
    return b'\x89PNG\r\n\x1a\n' + b''.join(
        struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
        for kind, data in ((b'IHDR', struct.pack('>IIBBBBB', width, height, 1, 0, 0, 0, 0)),
                           (b'IDAT', idat), (b'IEND', b'')))


def write(path, data, size=None):
    with open(path, 'wb') as f:
        f.write(data)
        f.truncate(size or len(data))


def bad_files():
    """{name: what writes that bad file at a path}. Each fails at its own
    step: reading the file, the header's size check, opening the decoder, or
    reading the rows."""
    rng = random.Random(1234)

    def from_good(fmt, mutate):
        def make(path):
            good_picture(path, 320, 240, fmt)
            with open(path, 'rb') as f:
                data = f.read()
            write(path, mutate(data))
        return make

    files = {
        'empty': lambda path: write(path, b''),
        'random': lambda path: write(path, rng.randbytes(100_000)),
        'directory': os.mkdir,
        # 1 GB, sparse, starting like a JPEG: more than is ever read.
        'sparse': lambda path: write(path, b'\xff\xd8\xff\xe0', 1 << 30),
        # Small on disk, gigabytes decoded: refused by its header's size.
        'bomb-png': lambda path: write(path, png_bomb(60000, 60000)),
        # Its header is whole, the decoder cannot make a picture of it.
        'header-only-bmp': from_good('bmp', lambda d: d[:60]),
    }
    for fmt in ('jpeg', 'png'):
        files['truncated-' + fmt] = from_good(fmt, lambda d: d[:len(d) // 3])
    return files

