#!/usr/bin/python3
"""Checks a built package, the zip or the setup program, for what it must
carry besides the program:

    check_package.py --license LICENSE [--credits] [--delete-if-bad] PACKAGE

- LICENSE.txt, ZARVO's own licence, the same text as LICENSE;
- with CREDITS.txt in it (which --credits requires): for each of the fifty
  pictures, that it decodes to the end and that CREDITS.txt has its entry
  with a title, an author, where it came from and a licence whose texts the
  package carries.

The setup program is read with 7-Zip (Debian's 7zip), which lists and
unpacks NSIS setup programs. A package found bad is deleted with
--delete-if-bad, so that the build makes it again instead of taking it.
"""
import argparse
import io
import os
import re
import subprocess
import sys
import tempfile
import zipfile

from PIL import Image

PICTURES = ['ZARVO%03d.DAT' % i for i in range(1, 51)]
FIELDS = ('Title', 'Author', 'From', 'Licence')


def zip_files(path):
    """{name: bytes} with names relative to the zip's one top folder."""
    with zipfile.ZipFile(path) as z:
        return {n.split('/', 1)[1]: z.read(n) for n in z.namelist()
                if '/' in n and not n.endswith('/')}


def setup_files(path):
    """{name: bytes}: what the setup program puts beside the uninstaller by
    its plain name, the pictures by theirs wherever setup unpacks them."""
    with tempfile.TemporaryDirectory(prefix='zarvo-check-') as tmp:
        subprocess.run(['7zz', 'x', '-y', '-bd', '-o' + tmp, path], check=True,
                       stdout=subprocess.DEVNULL)
        files = {}
        for top, _, names in os.walk(tmp):
            for n in names:
                rel = os.path.relpath(os.path.join(top, n), tmp).replace(os.sep, '/')
                with open(os.path.join(top, n), 'rb') as f:
                    name = os.path.basename(rel)
                    files[name if re.fullmatch(r'ZARVO\d{3}\.DAT', name) else rel] = f.read()
        return files


def text_of(data):
    return data.decode('utf-8-sig').replace('\r\n', '\n')


def credit_entries(credits):
    """{picture name: {field: value}} from CREDITS.txt."""
    entries, current = {}, None
    for line in credits.split('\n'):
        if re.fullmatch(r'ZARVO\d{3}\.DAT', line):
            current = entries.setdefault(line, {})
        elif current is not None and line.startswith('  ') and ':' in line:
            field, _, value = line.strip().partition(':')
            current[field] = value.strip()
        elif not line.strip():
            current = None
    return entries


def problems(files, license_text, credits_required):
    found = []
    if 'LICENSE.txt' not in files:
        found.append('no LICENSE.txt')
    elif text_of(files['LICENSE.txt']) != license_text:
        found.append('LICENSE.txt is not the text of LICENSE')
    if 'CREDITS.txt' not in files:
        if credits_required:
            found.append('no CREDITS.txt')
        return found
    entries = credit_entries(text_of(files['CREDITS.txt']))
    for name in PICTURES:
        if name not in files:
            found.append('%s: missing' % name)
            continue
        try:
            with Image.open(io.BytesIO(files[name])) as picture:
                picture.load()
        except Exception as e:  # whatever PIL raises for a bad file
            found.append('%s: does not decode (%s)' % (name, e))
        entry = entries.get(name)
        if entry is None:
            found.append('%s: no entry in CREDITS.txt' % name)
            continue
        for field in FIELDS:
            if not entry.get(field):
                found.append('%s: no %s in CREDITS.txt' % (name, field))
        texts = re.findall(r'licenses/[\w.+-]+\.txt', entry.get('Licence', ''))
        if entry.get('Licence') and not texts:
            found.append('%s: its licence names no text under licenses/' % name)
        for text in texts:
            if text not in files:
                found.append('%s: %s is not in the package' % (name, text))
    return found


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--license', required=True)
    parser.add_argument('--credits', action='store_true')
    parser.add_argument('--delete-if-bad', action='store_true')
    parser.add_argument('package')
    args = parser.parse_args()
    with open(args.license, encoding='utf-8') as f:
        license_text = f.read().replace('\r\n', '\n')
    files = (zip_files if args.package.endswith('.zip') else setup_files)(args.package)
    found = problems(files, license_text, args.credits)
    for p in found:
        print('%s: %s' % (os.path.basename(args.package), p), file=sys.stderr)
    if found and args.delete_if_bad:
        os.unlink(args.package)
    return 1 if found else 0


if __name__ == '__main__':
    sys.exit(main())
