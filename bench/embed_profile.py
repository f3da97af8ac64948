#!/usr/bin/python3
"""embed_profile.py IN.jpg OUT.jpg: the JPEG with a Display P3 profile (made
by Little CMS) in an APP2 ICC_PROFILE segment right after its SOI, its
pixel data untouched."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e'))
from picture_corpus import display_p3_profile  # noqa: E402

with open(sys.argv[1], 'rb') as f:
    jpeg = f.read()
body = b'ICC_PROFILE\0\x01\x01' + display_p3_profile()
segment = b'\xff\xe2' + (len(body) + 2).to_bytes(2, 'big') + body
with open(sys.argv[2], 'wb') as f:
    f.write(jpeg[:2] + segment + jpeg[2:])
