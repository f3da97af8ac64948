"""Display P3 profiles and reference colours from Little CMS (Debian's
liblcms2, a test tool only), through ctypes."""
import ctypes

_lcms = ctypes.CDLL('liblcms2.so.2')
_lcms.cmsBuildParametricToneCurve.restype = ctypes.c_void_p
_lcms.cmsBuildParametricToneCurve.argtypes = [ctypes.c_void_p, ctypes.c_int,
                                              ctypes.POINTER(ctypes.c_double)]
_lcms.cmsCreateRGBProfile.restype = ctypes.c_void_p
_lcms.cmsCreateRGBProfile.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_void_p]
_lcms.cmsCreate_sRGBProfile.restype = ctypes.c_void_p
_lcms.cmsSaveProfileToMem.argtypes = [ctypes.c_void_p, ctypes.c_void_p,
                                      ctypes.POINTER(ctypes.c_uint32)]
_lcms.cmsCreateTransform.restype = ctypes.c_void_p
_lcms.cmsCreateTransform.argtypes = [ctypes.c_void_p, ctypes.c_uint32, ctypes.c_void_p,
                                     ctypes.c_uint32, ctypes.c_uint32, ctypes.c_uint32]
_lcms.cmsDoTransform.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_void_p,
                                 ctypes.c_uint32]
for _name in ('cmsCloseProfile', 'cmsDeleteTransform', 'cmsFreeToneCurve'):
    getattr(_lcms, _name).argtypes = [ctypes.c_void_p]

_TYPE_RGB_8 = (4 << 16) | (3 << 3) | 1
_INTENT_RELATIVE_COLORIMETRIC = 1
_XYY = ctypes.c_double * 3


def _display_p3():
    white = _XYY(0.3127, 0.3290, 1)
    primaries = (ctypes.c_double * 9)(0.680, 0.320, 1, 0.265, 0.690, 1, 0.150, 0.060, 1)
    srgb_curve = (ctypes.c_double * 5)(2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045)
    curve = _lcms.cmsBuildParametricToneCurve(None, 4, srgb_curve)
    profile = _lcms.cmsCreateRGBProfile(white, primaries, (ctypes.c_void_p * 3)(curve, curve, curve))
    _lcms.cmsFreeToneCurve(curve)
    return profile


def display_p3_profile():
    """The bytes of a Display P3 profile (version 4, the sRGB curve)."""
    profile = _display_p3()
    size = ctypes.c_uint32(0)
    _lcms.cmsSaveProfileToMem(profile, None, ctypes.byref(size))
    data = ctypes.create_string_buffer(size.value)
    _lcms.cmsSaveProfileToMem(profile, data, ctypes.byref(size))
    _lcms.cmsCloseProfile(profile)
    return data.raw[:size.value]


def p3_to_srgb(rgb):
    """The 8-bit sRGB colour of an 8-bit Display P3 one, relative colorimetric."""
    p3, srgb = _display_p3(), _lcms.cmsCreate_sRGBProfile()
    transform = _lcms.cmsCreateTransform(p3, _TYPE_RGB_8, srgb, _TYPE_RGB_8,
                                         _INTENT_RELATIVE_COLORIMETRIC, 0)
    source, target = (ctypes.c_uint8 * 3)(*rgb), (ctypes.c_uint8 * 3)()
    _lcms.cmsDoTransform(transform, source, target, 1)
    _lcms.cmsDeleteTransform(transform)
    _lcms.cmsCloseProfile(p3)
    _lcms.cmsCloseProfile(srgb)
    return tuple(target)
