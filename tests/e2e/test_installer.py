#!/usr/bin/python3
"""The setup program zarvo-setup.exe under Wine: a silent install puts the
saver and its fifty pictures into the system folder and chooses it as the
screen saver, the installed saver shows picture 001, and the uninstaller
takes away exactly what setup made and puts the previous choice back.

zarvo-setup.exe comes from the "setup" target of $ZARVO_BUILD_DIR (else
build/win32), built first; if that fails (say, no demo pictures), it is made
from $ZARVO_SCR with stand-in pictures by installer/make-setup.cmake.  The
zip's contents and the picture-folder check are tested without Wine.

Run:  /usr/bin/python3 -m unittest -v test_installer   (from tests/e2e)
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

from PIL import Image, ImageChops, ImageStat

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from saver_fixture import SAVER_CLASS, zarvo_scr  # noqa: E402

INSTALLER_DIR = os.path.join(harness.REPO_ROOT, 'installer')
DESKTOP = r'HKCU\Control Panel\Desktop'
UNINST_KEY = r'Software\Microsoft\Windows\CurrentVersion\Uninstall\ZARVO'
OWN_KEY = r'Software\ZARVO'
PICTURES = ['ZARVO%03d.DAT' % i for i in range(1, 51)]
SYSDIR = r'C:\windows\system32'          # a 32-bit prefix's system folder
INSTALLED_SCR = SYSDIR + r'\zarvo.scr'
UNINSTALL_DIR = r'C:\Program Files\ZARVO'
OTHER_SAVER = r'C:\windows\system32\other.scr'
VERSION = '1.0.0'


def build_dir():
    return os.environ.get('ZARVO_BUILD_DIR') or os.path.join(
        harness.REPO_ROOT, 'build', 'win32')


def stand_in_pictures(folder):
    """Fifty PNG pictures, each with a bright frame and a gradient of its
    own colours, named ZARVO001.DAT ... ZARVO050.DAT."""
    os.makedirs(folder, exist_ok=True)
    for i, name in enumerate(PICTURES, 1):
        subprocess.run(
            ['convert', '-size', '480x320',
             'gradient:hsl(%d,90%%,55%%)-hsl(%d,90%%,30%%)' % (i * 7 % 360, (i * 7 + 120) % 360),
             '-fill', 'none', '-stroke', 'white', '-strokewidth', '8',
             '-draw', 'rectangle 0,0 479,319', 'PNG24:' + os.path.join(folder, name)],
            check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)


def find_setup(tmp):
    """Path of an up-to-date zarvo-setup.exe: the build folder's "setup"
    target is built first (at once when nothing changed), so that it holds
    the zarvo.scr that was just built."""
    path = os.path.join(build_dir(), 'zarvo-setup.exe')
    if os.path.isfile(os.path.join(build_dir(), 'CMakeCache.txt')):
        r = subprocess.run(['cmake', '--build', build_dir(), '--target', 'setup'],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=600)
        if r.returncode == 0 and os.path.isfile(path):
            return path
        sys.stderr.write('test_installer: building the setup target failed, using '
                         'stand-in pictures:\n%s\n' % r.stdout.decode('utf-8', 'replace')[-2000:])
    elif os.path.isfile(path):
        return path
    pictures = os.path.join(tmp, 'pictures')
    stand_in_pictures(pictures)
    path = os.path.join(tmp, 'zarvo-setup.exe')
    subprocess.run(['cmake', '-DSCR=' + zarvo_scr(), '-DPICTURES=' + pictures, '-DOUT=' + path,
                    '-DVERSION=' + VERSION, '-P', os.path.join(INSTALLER_DIR, 'make-setup.cmake')],
                   check=True, timeout=300)
    return path


def desktop_values(session):
    """Values of HKCU\\Control Panel\\Desktop itself (not its subkeys)."""
    return {name: data for (key, name), data in session.registry_dump(DESKTOP).items()
            if key == 'Control Panel\\Desktop'}


def set_desktop_value(session, name, value):
    """Write a REG_SZ value of HKCU\\Control Panel\\Desktop, or delete it
    (None), with Wine's reg.exe."""
    if value is None:
        args = ['reg', 'delete', DESKTOP, '/v', name, '/f']
    else:
        args = ['reg', 'add', DESKTOP, '/v', name, '/t', 'REG_SZ', '/d', value, '/f']
    p = session.start_program(*args)
    rc = session.wait_exit(p, 60)
    if value is not None and rc != 0:
        raise harness.HarnessError('%s failed: %s' % (args, session.program_output(p)))


def fit(size, screen):
    """Where a picture of `size` shows on `screen`: scaled down to fit (never
    up), centred. (left, top, width, height)."""
    w, h = size
    sw, sh = screen
    scale = min(1.0, sw / w, sh / h)
    dw, dh = round(w * scale), round(h * scale)
    return ((sw - dw) // 2, (sh - dh) // 2, dw, dh)


class InstallerUnderWine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix='zarvo-installer-')
        cls.setup_exe = find_setup(cls.tmp)
        cls.s = harness.WineSession().start()
        cls.prefix = cls.s.env['WINEPREFIX']
        cls.drive_c = os.path.join(cls.prefix, 'drive_c')
        cls.screen = cls.s.screen_size
        # The prefix may be shared with other tests: what these tests change
        # in the user's settings is put back at the end.
        desktop = desktop_values(cls.s)
        cls.initial = {n: desktop.get(n) for n in ('SCRNSAVE.EXE', 'ScreenSaveActive')}

    @classmethod
    def tearDownClass(cls):
        try:
            for name, value in cls.initial.items():
                set_desktop_value(cls.s, name, value)
        finally:
            cls.s.close()
            shutil.rmtree(cls.tmp, ignore_errors=True)

    def setUp(self):
        self.assertFalse(os.path.exists(self.unix(UNINSTALL_DIR)), 'left over from another test')
        self.addCleanup(self.remove_leftovers)

    def remove_leftovers(self):
        """After a failed test: uninstall what is left, so that the next test
        starts from a prefix without ZARVO."""
        if os.path.isfile(self.unix(UNINSTALL_DIR + r'\uninstall.exe')):
            self.run_uninstaller_copy()
        shutil.rmtree(self.unix(UNINSTALL_DIR), ignore_errors=True)

    # ------------------------------------------------------------ helpers

    def unix(self, win_path):
        """Unix path of a C:\\ path in the prefix."""
        assert win_path[:3].upper() == 'C:\\'
        return os.path.join(self.drive_c, *win_path[3:].split('\\'))

    def wine(self, *args, timeout=60):
        p = self.s.start_program(*args)
        rc = self.s.wait_exit(p, timeout)
        self.assertIsNotNone(rc, 'wine %s did not end' % (args,))
        return rc, self.s.program_output(p)

    def set_screen_saver(self, value):
        """SCRNSAVE.EXE as a user's earlier choice, or no value (None)."""
        set_desktop_value(self.s, 'SCRNSAVE.EXE', value)
        self.assertEqual(self.screen_saver(), value)

    def screen_saver(self):
        return self.desktop().get('SCRNSAVE.EXE')

    def desktop(self):
        return desktop_values(self.s)

    def key_values(self, key):
        return {name: data for (_, name), data in self.s.registry_dump(key).items()}

    def key_exists(self, root, key):
        rc, out = self.s.probe('registry-dump', root + '\\' + key)
        return not out.startswith('error')

    def files(self):
        """Every file and folder of drive_c except temporary folders."""
        found = set()
        for top, dirs, names in os.walk(self.drive_c):
            rel = os.path.relpath(top, self.drive_c)
            dirs[:] = [d for d in dirs if d.lower() != 'temp']
            for n in dirs + names:
                found.add(os.path.normpath(os.path.join(rel, n)).lower())
        return found

    def install(self):
        t0 = time.monotonic()
        rc, out = self.wine(self.setup_exe, '/S', timeout=120)
        elapsed = time.monotonic() - t0
        self.assertEqual(rc, 0, out)
        sys.stderr.write('[silent install: %.2f s] ' % elapsed)
        return elapsed

    def uninstall_and_wait(self):
        """Run the installed uninstaller silently and wait for it to end.

        An NSIS uninstaller copies itself to %TEMP% and returns at once; the
        copy, run with "_?=<folder>", does the work.  Here that is done
        explicitly: a copy of uninstall.exe runs with _?= through cmd /c
        (which waits for it), because _?= must reach the program unquoted,
        spaces and all, and Wine's own argument passing would quote it."""
        rc, out = self.run_uninstaller_copy()
        self.assertEqual(rc, 0, out)

    def run_uninstaller_copy(self):
        copy = r'C:\windows\temp\zarvo-uninstall-copy.exe'
        shutil.copy(self.unix(UNINSTALL_DIR + r'\uninstall.exe'), self.unix(copy))
        try:
            return self.wine('cmd', '/c', '%s /S _?=%s' % (copy, UNINSTALL_DIR), timeout=120)
        finally:
            os.unlink(self.unix(copy))

    def quiet_uninstall_and_wait(self, timeout=60):
        """Run QuietUninstallString as Windows would, then wait until the
        uninstaller's copy has finished (its last step removes the folder)."""
        command = self.key_values('HKLM\\' + UNINST_KEY)['QuietUninstallString']
        self.assertTrue(command.startswith('"') and command.endswith('" /S'), command)
        rc, out = self.wine(command[1:-4], '/S')
        self.assertEqual(rc, 0, out)
        gone = harness.wait_until(
            lambda: not os.path.exists(self.unix(UNINSTALL_DIR)) and
            not self.key_exists('HKLM', UNINST_KEY), timeout)
        self.assertTrue(gone, 'the uninstaller did not finish')

    def assert_installed(self):
        for name in ['zarvo.scr'] + PICTURES:
            self.assertTrue(os.path.isfile(self.unix(SYSDIR + '\\' + name)), name)
        with open(self.unix(INSTALLED_SCR), 'rb') as a, open(zarvo_scr(), 'rb') as b:
            self.assertEqual(a.read(), b.read(), 'installed zarvo.scr differs from the build')
        self.assertTrue(os.path.isfile(self.unix(UNINSTALL_DIR + r'\uninstall.exe')))

        values = self.key_values('HKLM\\' + UNINST_KEY)
        uninstaller = UNINSTALL_DIR + r'\uninstall.exe'
        self.assertEqual(values['DisplayName'], 'ZARVO')
        self.assertEqual(values['DisplayVersion'], VERSION)
        self.assertEqual(values['Publisher'], '株式会社ザルボソフト')
        self.assertEqual(values['DisplayIcon'], INSTALLED_SCR + ',0')
        self.assertEqual(values['UninstallString'], '"%s"' % uninstaller)
        self.assertEqual(values['QuietUninstallString'], '"%s" /S' % uninstaller)
        self.assertEqual(values['NoModify'], '1')   # REG_DWORD (the probe gives text)
        self.assertEqual(values['NoRepair'], '1')
        size = sum(os.path.getsize(self.unix(SYSDIR + '\\' + n)) for n in ['zarvo.scr'] + PICTURES)
        self.assertAlmostEqual(int(values['EstimatedSize']), size / 1024, delta=size / 1024 * 0.05 + 4)

    # -------------------------------------------------------------- tests

    def test_install_show_picture_001_and_uninstall(self):
        self.set_screen_saver(OTHER_SAVER)
        # Screen savers turned off: setup turns them on, uninstall off again.
        set_desktop_value(self.s, 'ScreenSaveActive', '0')
        files_before = self.files()
        desktop_before = self.desktop()
        self.assertFalse(self.key_exists('HKCU', OWN_KEY))

        self.install()
        self.assert_installed()
        added = self.files() - files_before
        expected = {('windows/system32/' + n).lower() for n in ['zarvo.scr'] + PICTURES}
        expected |= {'program files/zarvo', 'program files/zarvo/uninstall.exe'}
        self.assertEqual(added, expected)
        self.assertEqual(self.files() - added, files_before)
        # ZARVO is the screen saver now, the earlier choice on record.
        self.assertEqual(self.screen_saver(), INSTALLED_SCR)
        own = self.key_values('HKCU\\' + OWN_KEY)
        self.assertEqual(own['PreviousScreenSaver'], OTHER_SAVER)
        self.assertEqual(own['Selected'], INSTALLED_SCR)
        self.assertEqual(own['PreviousScreenSaveActive'], '0')
        self.assertEqual(self.desktop()['ScreenSaveActive'], '1')

        self.check_installed_saver_shows_picture_001()

        self.uninstall_and_wait()
        self.assertEqual(self.files(), files_before)
        self.assertFalse(self.key_exists('HKLM', UNINST_KEY))
        self.assertFalse(self.key_exists('HKCU', OWN_KEY))
        self.assertEqual(self.desktop(), desktop_before)
        self.assertEqual(self.screen_saver(), OTHER_SAVER)

    def check_installed_saver_shows_picture_001(self):
        # (xdotool's --sync waits ~15 s when the pointer is already there.)
        centre = (self.screen[0] // 2, self.screen[1] // 2)
        if self.s.pointer() != centre:
            self.s.mousemove(*centre)
        p = self.s.start_program(INSTALLED_SCR, '/s')
        self.addCleanup(self.s.kill, p)
        self.assertIsNotNone(self.s.wait_window(cls=SAVER_CLASS, timeout=20),
                             'the installed saver shows no window')
        picture = Image.open(self.unix(SYSDIR + r'\ZARVO001.DAT')).convert('RGB')
        left, top, w, h = fit(picture.size, self.screen)
        expected = picture.resize((w, h), Image.LANCZOS)

        def shown():
            img = self.s.screenshot()
            crop = img.crop((left, top, left + w, top + h))
            diff = ImageStat.Stat(ImageChops.difference(crop, expected)).mean
            return (img, diff) if max(diff) < 12 else None
        got = harness.wait_until(shown, timeout=20, interval=0.3)
        img = self.s.screenshot()
        if not got or os.environ.get('ZARVO_KEEP_SCREENSHOTS'):
            fd, path = tempfile.mkstemp(prefix='zarvo-installed-saver-', suffix='.png')
            os.close(fd)
            img.save(path)
            sys.stderr.write('[screenshot: %s] ' % path)
        self.assertTrue(got, 'picture 001 is not on the screen')
        box = harness.bbox_non_black(img)
        self.assertIsNotNone(box)
        # Nothing outside the picture's place, which is centred.
        self.assertGreaterEqual(box[0], left - 1)
        self.assertGreaterEqual(box[1], top - 1)
        self.assertLessEqual(box[2], left + w + 1)
        self.assertLessEqual(box[3], top + h + 1)
        self.assertLessEqual(abs(left - (self.screen[0] - left - w)), 1)
        self.assertLessEqual(abs(top - (self.screen[1] - top - h)), 1)
        self.s.key('space')
        self.assertEqual(self.s.wait_exit(p, 15), 0)

    def test_second_install_keeps_the_previous_choice(self):
        self.set_screen_saver(OTHER_SAVER)
        files_before = self.files()
        self.install()
        self.install()
        self.assert_installed()
        self.assertEqual(self.screen_saver(), INSTALLED_SCR)
        self.assertEqual(self.key_values('HKCU\\' + OWN_KEY)['PreviousScreenSaver'], OTHER_SAVER)
        self.uninstall_and_wait()
        self.assertEqual(self.screen_saver(), OTHER_SAVER)
        self.assertEqual(self.files(), files_before)

    def test_uninstall_after_the_files_were_deleted_by_hand(self):
        # No screen saver chosen before: none afterwards either.
        self.set_screen_saver(None)
        files_before = self.files()
        self.install()
        self.assertEqual(self.screen_saver(), INSTALLED_SCR)
        for name in ['zarvo.scr'] + PICTURES:
            os.unlink(self.unix(SYSDIR + '\\' + name))
        self.quiet_uninstall_and_wait()
        self.assertIsNone(self.screen_saver())
        self.assertFalse(self.key_exists('HKCU', OWN_KEY))
        self.assertEqual(self.files(), files_before)

    def test_a_choice_made_after_install_stays(self):
        self.set_screen_saver(None)
        self.install()
        self.set_screen_saver(OTHER_SAVER)
        self.uninstall_and_wait()
        self.assertEqual(self.screen_saver(), OTHER_SAVER)
        self.assertFalse(self.key_exists('HKCU', OWN_KEY))
        self.assertFalse(self.key_exists('HKLM', UNINST_KEY))


class PackagesWithoutWine(unittest.TestCase):
    """The zip and the picture-folder check, made from stand-ins."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix='zarvo-package-')
        cls.pictures = os.path.join(cls.tmp, 'pictures')
        stand_in_pictures(cls.pictures)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def check(self, folder):
        return subprocess.run(['cmake', '-DZARVO_PICTURES=' + folder, '-P',
                               os.path.join(INSTALLER_DIR, 'pictures.cmake')],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60)

    def test_picture_folder_check_names_the_wrong_file(self):
        self.assertEqual(self.check(self.pictures).returncode, 0)
        missing = os.path.join(self.tmp, 'missing')
        shutil.copytree(self.pictures, missing)
        os.unlink(os.path.join(missing, 'ZARVO037.DAT'))
        r = self.check(missing)
        self.assertNotEqual(r.returncode, 0)
        self.assertIn(b'ZARVO037.DAT is missing', r.stdout)
        extra = os.path.join(self.tmp, 'extra')
        shutil.copytree(self.pictures, extra)
        open(os.path.join(extra, 'ZARVO051.DAT'), 'wb').close()
        r = self.check(extra)
        self.assertNotEqual(r.returncode, 0)
        self.assertIn(b"unexpected file 'ZARVO051.DAT'", r.stdout)

    def test_zip_holds_the_saver_pictures_and_read_mes(self):
        out = os.path.join(self.tmp, 'zarvo.zip')
        subprocess.run(['cmake', '-DSCR=' + zarvo_scr(), '-DPICTURES=' + self.pictures,
                        '-DOUT=' + out, '-DSTAGE=' + os.path.join(self.tmp, 'stage'),
                        '-DVERSION=' + VERSION, '-P', os.path.join(INSTALLER_DIR, 'make-zip.cmake')],
                       check=True, stdout=subprocess.DEVNULL, timeout=120)
        top = 'ZARVO-%s/' % VERSION
        with zipfile.ZipFile(out) as z:
            self.assertEqual(sorted(z.namelist()), sorted(
                top + n for n in ['zarvo.scr', 'README-ja.txt', 'README-en.txt'] + PICTURES))
            with open(zarvo_scr(), 'rb') as f:
                self.assertEqual(z.read(top + 'zarvo.scr'), f.read())
            ja = z.read(top + 'README-ja.txt')
            en = z.read(top + 'README-en.txt')
        # Notepad shows UTF-8 with a BOM correctly on every Windows version.
        self.assertTrue(ja.startswith(b'\xef\xbb\xbf'))
        text = ja[3:].decode('utf-8')
        self.assertIn('インストール', text)
        self.assertNotIn('\n', text.replace('\r\n', ''))
        en.decode('ascii')
        self.assertNotIn(b'\n', en.replace(b'\r\n', b''))


if __name__ == '__main__':
    unittest.main()
