#!/usr/bin/python3
"""The bundled pictures: photographs from Debian's wallpaper packages,
made into ZARVO001.DAT ... ZARVO050.DAT, with CREDITS.txt and the licence
texts they need.

    demo_pictures.py PICTURES_FOLDER [CREDITS_FOLDER]

scripts/make-demo-pictures.sh installs the packages and runs this. Title,
author and licence are read from the installed packages' own metadata (the
Plasma wallpaper's metadata.json or .desktop file, MATE's background list
and Debian copyright file), so a package that changes them changes the
credits, and one whose licence has no text here stops the build.
"""
import concurrent.futures
import fnmatch
import glob
import io
import json
import os
import re
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ET

from PIL import Image, ImageCms

COUNT = 50
# Never enlarged; larger ones are scaled down to the least size that still
# fills this screen, so that no common screen shows them enlarged.
FILL = (2560, 1440)
# Smaller ones would leave black around them on a 1920 x 1080 screen.
LEAST = (1920, 1080)
QUALITY = 90

MATE, PLASMA = 'mate-backgrounds', 'plasma-workspace-wallpapers'

# In the order shown: calm and busy, near and far, warm and cool taking turns.
# Only photographs: the packages' logos, drawings and rendered abstracts are
# left out, and so are MATE's Dune (1680 x 1050) and Green Meadow
# (1280 x 1024), too small.
PHOTOGRAPHS = [
    (PLASMA, '/usr/share/wallpapers/EveningGlow/contents/images/2560x1600.jpg'),
    (MATE, '/usr/share/backgrounds/mate/nature/LadyBird.jpg'),
    (PLASMA, '/usr/share/wallpapers/ColdRipple/contents/images/2560x1600.jpg'),
    (MATE, '/usr/share/backgrounds/mate/nature/YellowFlower.jpg'),
    (PLASMA, '/usr/share/wallpapers/Path/contents/images/2560x1600.jpg'),
    (MATE, '/usr/share/backgrounds/mate/nature/Aqua.jpg'),
    (PLASMA, '/usr/share/wallpapers/Kite/contents/images/2560x1600.jpg'),
    (PLASMA, '/usr/share/wallpapers/FallenLeaf/contents/images/2560x1600.jpg'),
    (MATE, '/usr/share/backgrounds/mate/nature/Blinds.jpg'),
    (PLASMA, '/usr/share/wallpapers/summer_1am/contents/images/2560x1600.jpg'),
    (MATE, '/usr/share/backgrounds/mate/nature/Garden.jpg'),
    (PLASMA, '/usr/share/wallpapers/OneStandsOut/contents/images/2560x1600.jpg'),
    (MATE, '/usr/share/backgrounds/mate/nature/RainDrops.jpg'),
    (PLASMA, '/usr/share/wallpapers/BytheWater/contents/images/2560x1600.jpg'),
    (MATE, '/usr/share/backgrounds/mate/nature/TwoWings.jpg'),
    (MATE, '/usr/share/backgrounds/mate/nature/Storm.jpg'),
    (PLASMA, '/usr/share/wallpapers/ColorfulCups/contents/images/2560x1600.jpg'),
    (MATE, '/usr/share/backgrounds/mate/nature/FreshFlower.jpg'),
    (PLASMA, '/usr/share/wallpapers/DarkestHour/contents/images/2560x1600.jpg'),
    (MATE, '/usr/share/backgrounds/mate/nature/Wood.jpg'),
    (PLASMA, '/usr/share/wallpapers/Grey/contents/images/2560x1600.jpg'),
]
PACKAGES = sorted({package for package, _ in PHOTOGRAPHS})

# The licences as the packages name them, and the texts (from base-files'
# /usr/share/common-licenses) that must go with them: the LGPL 3 is a set of
# permissions added to the GPL 3, so it needs both.
LICENCE_TEXTS = {
    'GPL-2+': ['GPL-2'],
    'LGPLv3': ['LGPL-3', 'GPL-3'],
}
COMMON_LICENSES = '/usr/share/common-licenses'

# ImageMagick's own convert (not a wrapper earlier on PATH).
CONVERT = '/usr/bin/convert' if os.path.exists('/usr/bin/convert') else 'convert'


class Failure(Exception):
    pass


def package_version(package):
    return subprocess.run(['dpkg-query', '-W', '-f=${Version}', package], check=True,
                          stdout=subprocess.PIPE, text=True).stdout


def plasma_credit(path):
    """(title, authors, licence) from the wallpaper's own metadata."""
    top = path.split('/contents/')[0]
    if os.path.exists(top + '/metadata.json'):
        with open(top + '/metadata.json', encoding='utf-8') as f:
            plugin = json.load(f)['KPlugin']
        return (plugin['Name'], [a['Name'] for a in plugin.get('Authors', [])],
                plugin.get('License', ''))
    entries = {}
    with open(top + '/metadata.desktop', encoding='utf-8') as f:
        for line in f:
            key, _, value = line.strip().partition('=')
            entries.setdefault(key, value)
    return (entries.get('Name', ''), [entries.get('X-KDE-PluginInfo-Author', '')],
            entries.get('X-KDE-PluginInfo-License', ''))


def dep5_stanzas(path):
    """The stanzas of a machine-readable Debian copyright file, as dicts of
    field -> list of lines (continuation lines included)."""
    stanzas, current, field = [], {}, None
    with open(path, encoding='utf-8') as f:
        for line in f:
            line = line.rstrip('\n')
            if not line.strip():
                if current:
                    stanzas.append(current)
                current, field = {}, None
            elif line[0] in ' \t' and field:
                current[field].append(line.strip())
            else:
                field, _, value = line.partition(':')
                current[field] = [value.strip()] if value.strip() else []
    if current:
        stanzas.append(current)
    return stanzas


def holder_name(line):
    """'2008, Charles Barbin <barbinch@free.fr>' -> 'Charles Barbin'."""
    line = re.sub(r'<[^>]*>', '', line)
    line = re.sub(r'^[\d\s,\-]+', '', line)
    return line.strip().strip('´"\' ').replace('"', '')


def mate_credit(path):
    """(title, authors, licence): the title from MATE's background list,
    authors and licence from the Debian copyright file's stanza for it."""
    title = ''
    for listing in glob.glob('/usr/share/mate-background-properties/*.xml'):
        for wallpaper in ET.parse(listing).getroot():
            if wallpaper.findtext('filename') == path:
                title = next((n.text for n in wallpaper.findall('name') if not n.attrib), '')
    relative = path.split('/usr/share/backgrounds/mate/')[1]
    for stanza in dep5_stanzas('/usr/share/doc/%s/copyright' % MATE):
        patterns = ' '.join(stanza.get('Files', [])).split()
        if any(fnmatch.fnmatchcase(relative, p) for p in patterns):
            return (title, [holder_name(h) for h in stanza.get('Copyright', [])],
                    ' '.join(stanza.get('License', [])))
    raise Failure('%s: no stanza in the copyright file' % path)


def credit(package, path):
    title, authors, licence = (mate_credit if package == MATE else plasma_credit)(path)
    authors = [a for a in authors if a]
    if not title or not authors:
        raise Failure('%s: no title or author in %s metadata' % (path, package))
    if licence not in LICENCE_TEXTS:
        raise Failure('%s: licence %r has no text here (see LICENCE_TEXTS)' % (path, licence))
    return title, authors, licence


def size_of(path):
    """(width, height, the embedded colour profile's description or '')."""
    with Image.open(path) as picture:
        icc = picture.info.get('icc_profile')
        description = ImageCms.getProfileDescription(
            ImageCms.ImageCmsProfile(io.BytesIO(icc))).strip() if icc else ''
        return picture.width, picture.height, description


def make(path, target):
    """The photograph as a plain sRGB JPEG, scaled down to fill FILL if it is
    larger."""
    w, h, icc = size_of(path)
    if w < LEAST[0] and h < LEAST[1]:
        raise Failure('%s: %d x %d fills no %d x %d screen' % ((path, w, h) + LEAST))
    # An embedded profile other than sRGB would need a transform that
    # stripping it skips; none of the chosen ones has one.
    if icc and 'srgb' not in icc.lower():
        raise Failure('%s: embedded colour profile %r is not sRGB' % (path, icc))
    subprocess.run([CONVERT, '-quiet', path, '-auto-orient', '-resize', '%dx%d^>' % FILL,
                    '-colorspace', 'sRGB', '-type', 'TrueColor', '-strip',
                    '-sampling-factor', '2x2', '-quality', str(QUALITY), 'JPEG:' + target],
                   check=True)


def crlf(text):
    return text.replace('\r\n', '\n').replace('\n', '\r\n')


def write_credits(folder, chosen):
    versions = {p: package_version(p) for p in PACKAGES}
    os.makedirs(os.path.join(folder, 'licenses'), exist_ok=True)
    texts = []
    for _, _, licence in chosen:
        for name in LICENCE_TEXTS[licence]:
            if name not in texts:
                texts.append(name)
    for name in texts:
        with open(os.path.join(COMMON_LICENSES, name), encoding='utf-8') as f:
            text = f.read()
        with open(os.path.join(folder, 'licenses', name + '.txt'), 'w', encoding='utf-8',
                  newline='') as f:
            f.write(crlf(text))

    lines = [
        'ZARVO: where the bundled pictures come from',
        '',
        'ZARVO001.DAT ... ZARVO050.DAT, the pictures that come with ZARVO, are',
        'photographs from Debian\'s desktop wallpaper packages. There are %d of'
        % len(PHOTOGRAPHS),
        'them, so they take turns: ZARVO%03d.DAT is the first again.' % (len(PHOTOGRAPHS) + 1),
        '',
        'Each was changed only in this way: scaled down to the least size that',
        'fills a %d x %d screen where it was larger, and saved as a JPEG of'
        % FILL,
        'quality %d without metadata. The original of each, which is the form'
        % QUALITY,
        'to change it in, is the file named below in the Debian package named',
        'below, of that version; Debian\'s archive keeps both that package and',
        'the source package it was built from.',
        '',
        'Each photograph is under the licence named with it, as its package',
        'states it; the texts of these licences are in the folder "licenses".',
        'GPL-2+ means the GNU General Public License, version 2 or (at your',
        'option) any later version. The licences of the photographs do not',
        'extend to ZARVO, nor ZARVO\'s licence (LICENSE.txt) to them.',
    ]
    if PLASMA in PACKAGES:
        lines += [
            '',
            'For %s the licence named is the one in each' % PLASMA,
            'wallpaper\'s own metadata; Debian\'s copyright file for the package',
            'names GPL-2+ for all of it.',
        ]
    lines += ['']
    for k in range(COUNT):
        package, path = PHOTOGRAPHS[k % len(PHOTOGRAPHS)]
        title, authors, licence = chosen[k % len(PHOTOGRAPHS)]
        files = ', '.join('licenses/%s.txt' % n for n in LICENCE_TEXTS[licence])
        lines += [
            'ZARVO%03d.DAT' % (k + 1),
            '  Title:   ' + title,
            '  Author:  ' + ', '.join(authors),
            '  From:    Debian package %s %s, %s' % (package, versions[package], path),
            '  Licence: %s (%s)' % (licence, files),
            '',
        ]
    with open(os.path.join(folder, 'CREDITS.txt'), 'w', encoding='utf-8-sig',
              newline='') as f:
        f.write(crlf('\n'.join(lines)))


def main(argv):
    if len(argv) not in (2, 3):
        print('usage: demo_pictures.py PICTURES_FOLDER [CREDITS_FOLDER]', file=sys.stderr)
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    chosen = [credit(package, path) for package, path in PHOTOGRAPHS]
    first = [os.path.join(out, 'ZARVO%03d.DAT' % (i + 1)) for i in range(len(PHOTOGRAPHS))]
    with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 2) as pool:
        for done in [pool.submit(make, path, target)
                     for (_, path), target in zip(PHOTOGRAPHS, first)]:
            done.result()
    for k in range(len(PHOTOGRAPHS), COUNT):
        shutil.copyfile(first[k % len(PHOTOGRAPHS)], os.path.join(out, 'ZARVO%03d.DAT' % (k + 1)))
    if len(argv) == 3:
        write_credits(argv[2], chosen)
    print('demo_pictures: %d photographs as %d pictures in %s' % (len(PHOTOGRAPHS), COUNT, out))
    return 0


if __name__ == '__main__':
    try:
        sys.exit(main(sys.argv))
    except (Failure, subprocess.CalledProcessError, OSError, KeyError, ValueError) as e:
        print('demo_pictures: %s' % e, file=sys.stderr)
        sys.exit(1)
