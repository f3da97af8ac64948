#!/usr/bin/python3
"""The setup program and zarvo-pictures.exe under Wine; then, without Wine,
the zip and the checks of the pictures and packages."""
import hashlib
import io
import ntpath
import os
import shutil
import subprocess
import tempfile
import time
import unittest
import zipfile
from pathlib import Path

from PIL import Image, ImageChops, ImageStat

import harness
from picture_corpus import good_picture
from saver_fixture import convert, near, zarvo_scr

INSTALLER_DIR = os.path.join(harness.REPO_ROOT, 'installer')
LICENSE = os.path.join(harness.REPO_ROOT, 'LICENSE')
BUILD_DIR = os.environ.get('ZARVO_BUILD_DIR') or os.path.join(harness.REPO_ROOT, 'build', 'win32')
SETUP_EXE = os.path.join(BUILD_DIR, 'zarvo-setup.exe')
# What the setup program was built to put beside the uninstaller.
SETUP_NOTICES = os.path.join(BUILD_DIR, 'installer', 'setup-notices')
DESKTOP = r'HKCU\Control Panel\Desktop'
UNINST_KEY = r'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZARVO'
OWN_KEY = r'HKCU\Software\ZARVO'
SETUP_KEY = OWN_KEY + r'\Setup'
PICTURES = ['ZARVO%03d.DAT' % i for i in range(1, 51)]
# Into the system folder that the setup's own programs see: System32 for the
# 32-bit setup in a 32-bit prefix and for the 64-bit test setup (wine64 build).
INSTALLED = ['C:\\windows\\system32\\' + n for n in ['zarvo.scr'] + PICTURES]
INSTALLED_SCR = INSTALLED[0]
UNINSTALL_DIR = r'C:\Program Files\ZARVO'
UNINSTALLER = UNINSTALL_DIR + r'\uninstall.exe'
OTHER_SAVER, LATER_SAVER = r'C:\windows\system32\other.scr', r'C:\windows\system32\later.scr'
VERSION = '1.0.0'


class InstallerUnderWine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        subprocess.run(['cmake', '--build', BUILD_DIR, '--target', 'setup'], check=True,
                       stdout=subprocess.DEVNULL, timeout=600)
        cls.s = harness.WineSession().start()
        cls.addClassCleanup(cls.s.close)
        cls.unix, cls.drive_c = cls.s.unix, cls.s.unix('C:\\')
        # The prefix may be shared with other tests: put the user's settings back.
        for name in ('SCRNSAVE.EXE', 'ScreenSaveActive'):
            cls.addClassCleanup(cls.set_desktop, name, cls.values(DESKTOP).get(name))

    def setUp(self):
        self.assertFalse(os.path.exists(self.unix(UNINSTALL_DIR)), 'left over from another test')
        self.addCleanup(shutil.rmtree, self.unix(UNINSTALL_DIR), ignore_errors=True)
        self.addCleanup(lambda: os.path.isfile(self.unix(UNINSTALLER)) and self.uninstall())
        self.files_before = self.files()

    @classmethod
    def values(cls, key):
        """{name: data} of the key's own values, not its subkeys'."""
        return {name: data for (k, name), data in cls.s.registry(key).items()
                if name and k.lower().endswith(key[4:].lower())}

    @classmethod
    def set_desktop(cls, name, value):
        """Writes a REG_SZ value of the desktop settings, or deletes it (None)."""
        data = [] if value is None else ['/t', 'REG_SZ', '/d', value]
        cls.s.run('reg', 'add' if data else 'delete', DESKTOP, '/v', name, *data, '/f')
        if cls.values(DESKTOP).get(name) != value:
            raise harness.HarnessError('cannot set %s to %s' % (name, value))

    def files(self):
        """Every file and folder of drive C: but the temporary folders, in lower case."""
        found = {os.path.relpath(os.path.join(top, n), self.drive_c).lower()
                 for top, dirs, names in os.walk(self.drive_c) for n in dirs + names}
        return {p for p in found if 'temp' not in p.split(os.sep)}

    def install(self, option='', exit_code=0):
        """Silent setup with `option` on its command line as it stands (Wine
        would quote an argument itself), through a batch file that passes on
        its exit code."""
        setup, batch = r'C:\windows\temp\zarvo-setup.exe', r'C:\windows\temp\zarvo-setup.cmd'
        shutil.copy(SETUP_EXE, self.unix(setup))
        with open(self.unix(batch), 'wb') as f:
            f.write(('@echo setup:\r\n@%s /S %s\r\n@exit %%ERRORLEVEL%%\r\n'
                     % (setup, option)).encode('cp932'))
        rc, out = self.s.run('cmd', '/c', batch, timeout=120)
        if rc == 1 and 'setup:' not in out:
            # 64-bit Wine: cmd ended before it ran the batch (as the probe
            # does at times, see WineSession.probe). Setup did not run.
            rc, out = self.s.run('cmd', '/c', batch, timeout=120)
        self.assertEqual(rc, exit_code, out)

    def picture_folder(self, folder, files):
        """Makes `folder` with `files` ({name: bytes}, a name may go into a
        subfolder) as part of the state to come back to; its contents."""
        for name, data in files.items():
            path = self.unix(folder + '\\' + name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, 'wb') as f:
                f.write(data)
        self.addCleanup(shutil.rmtree, self.unix(folder))
        self.files_before = self.files()
        return self.folder_contents(folder)

    def folder_contents(self, folder):
        top = self.unix(folder)
        return {os.path.relpath(os.path.join(d, n), top): Path(d, n).read_bytes()
                for d, _, names in os.walk(top) for n in names}

    def pictures_in(self, folder=r'C:\windows\system32'):
        return [Path(self.unix(folder + '\\' + name)).read_bytes() for name in PICTURES]

    def uninstall(self):
        """As Windows runs it: the uninstaller starts a copy of itself and
        returns at once; the copy ends by removing the uninstaller's folder."""
        command = self.values(UNINST_KEY)['QuietUninstallString']
        self.assertEqual(self.s.run(command[1:-4], '/S')[0], 0)
        self.assertTrue(harness.wait_until(
            lambda: not os.path.exists(self.unix(UNINSTALL_DIR)) and
            not self.s.registry(UNINST_KEY), 60), 'the uninstaller did not finish')

    def assert_installed(self):
        notices = {UNINSTALL_DIR + '\\' + os.path.relpath(os.path.join(top, n), SETUP_NOTICES)
                   .replace(os.sep, '\\'): os.path.join(top, n)
                   for top, _, names in os.walk(SETUP_NOTICES) for n in names}
        self.assertIn(UNINSTALL_DIR + r'\LICENSE.txt', notices)
        self.assertEqual(self.files(), self.files_before | {
            os.path.relpath(self.unix(p), self.drive_c).lower()
            for p in INSTALLED + [UNINSTALL_DIR, UNINSTALLER] + list(notices) +
            [ntpath.dirname(p) for p in notices]})
        for path, built in {INSTALLED_SCR: zarvo_scr(), **notices}.items():
            self.assertEqual(Path(self.unix(path)).read_bytes(), Path(built).read_bytes(),
                             '%s differs from the build' % path)
        values = self.values(UNINST_KEY)
        size = sum(os.path.getsize(self.unix(path)) for path in INSTALLED)
        self.assertAlmostEqual(int(values.pop('EstimatedSize'), 0), size / 1024,
                               delta=size / 1024 * 0.05 + 4)
        self.assertEqual(values, {
            'DisplayName': 'ZARVO', 'DisplayVersion': VERSION, 'Publisher': '株式会社ザルボソフト',
            'DisplayIcon': INSTALLED_SCR + ',0', 'UninstallString': '"%s"' % UNINSTALLER,
            'QuietUninstallString': '"%s" /S' % UNINSTALLER, 'NoModify': '0x1', 'NoRepair': '0x1'})

    def assert_uninstalled(self):
        self.assertEqual(self.files(), self.files_before)
        self.assertFalse(self.s.registry(UNINST_KEY))
        self.assertFalse(self.s.registry(OWN_KEY))

    def assert_shows_picture_001(self):
        """The installed saver shows picture 001, scaled down to fit and centred."""
        screen = self.s.screen_size
        self.s.mousemove(screen[0] // 2, screen[1] // 2)
        p = self.s.start_program(INSTALLED_SCR, '/s')
        self.addCleanup(self.s.kill, p)
        picture = Image.open(self.unix(INSTALLED[1])).convert('RGB')
        scale = min(1.0, screen[0] / picture.width, screen[1] / picture.height)
        w, h = round(picture.width * scale), round(picture.height * scale)
        box = ((screen[0] - w) // 2, (screen[1] - h) // 2)
        box += (box[0] + w, box[1] + h)
        expected = picture.resize((w, h), Image.LANCZOS)

        def differs(img):
            return max(ImageStat.Stat(ImageChops.difference(img.crop(box), expected)).mean) >= 12
        img = harness.wait_until(self.s.screenshot, 30, 0.3, lambda img: not differs(img))
        self.assertFalse(differs(img), 'picture 001 is not on the screen')
        self.assertTrue(near(harness.bbox_non_black(img), box), 'something outside the picture')
        self.s.key('space')
        self.assertEqual(self.s.wait_exit(p, 15), 0)

    def test_install_chooses_zarvo_and_uninstall_puts_back_the_choice_unless_changed(self):
        # (screen saver before, ScreenSaveActive before, installs, a choice made
        # after them, the files deleted by hand before the uninstaller runs)
        cases = ((OTHER_SAVER, '0', 1, None, False),
                 (OTHER_SAVER, '1', 2, LATER_SAVER, False),
                 (None, '1', 1, None, True))
        for before, active, installs, later, by_hand in cases:
            with self.subTest(before=before, active=active, installs=installs, by_hand=by_hand):
                self.set_desktop('SCRNSAVE.EXE', before)
                self.set_desktop('ScreenSaveActive', active)
                desktop_before = self.values(DESKTOP)
                self.assertFalse(self.s.registry(OWN_KEY))
                for _ in range(installs):
                    self.install()
                self.assert_installed()
                desktop = self.values(DESKTOP)
                self.assertEqual((desktop['SCRNSAVE.EXE'], desktop['ScreenSaveActive']),
                                 (INSTALLED_SCR, '1'))
                record = {'Selected': INSTALLED_SCR, 'PreviousScreenSaver': before,
                          'PreviousScreenSaveActive': '0' if active == '0' else None}
                self.assertEqual(self.values(SETUP_KEY), {k: v for k, v in record.items() if v})
                if later:
                    self.set_desktop('SCRNSAVE.EXE', later)
                if by_hand:
                    for path in INSTALLED:
                        os.unlink(self.unix(path))
                self.uninstall()
                self.assert_uninstalled()
                self.assertEqual(self.values(DESKTOP), dict(desktop_before, **(
                    {'SCRNSAVE.EXE': later} if later else {})))

    def system_folder_state(self):
        """What a failed setup must leave as it was."""
        contents = {p: hashlib.sha256(Path(self.unix(p)).read_bytes()).hexdigest()
                    for p in INSTALLED if os.path.exists(self.unix(p))}
        return (self.files(), contents, self.values(UNINST_KEY), self.values(SETUP_KEY),
                self.values(DESKTOP))

    def assert_held_picture_changes_nothing(self, option):
        """Setup with ZARVO025.DAT held open without sharing by another process
        fails and changes nothing; once it is let go, the same setup replaces
        all fifty."""
        before = self.system_folder_state()
        until = r'C:\windows\temp\zarvo-release-%d' % time.monotonic_ns()
        p = self.s.start_program(self.s.probe_exe, 'hold', INSTALLED[25], until)
        self.addCleanup(self.s.kill, p)
        self.assertTrue(harness.wait_until(lambda: '"held"' in self.s.program_output(p), 30))
        self.install(option, 2)
        self.assertEqual(self.system_folder_state(), before)
        open(self.unix(until), 'w').close()
        self.s.wait_exit(p, 10)
        self.install(option)
        self.assert_installed()

    def test_a_folder_without_pictures_or_a_held_picture_fails_a_setup_which_changes_nothing(self):
        # A subfolder's pictures are not the folder's.
        empty = r'C:\no-pictures'
        empty_before = self.picture_folder(empty, {'a.jpg': b'text',
                                                   os.path.join('sub', 'b.png'): picture('PNG')})
        self.install('/PICTURES=%s' % empty, 2)
        self.assert_uninstalled()
        self.assertEqual(self.folder_contents(empty), empty_before)
        folder = r'C:\写真 フォルダー'
        pictures = [picture('PNG', (40 * i, 0, 0)) for i in range(3)]
        before = self.picture_folder(folder, {'p%d.png' % i: d for i, d in enumerate(pictures)})
        # On a machine without ZARVO, the file held is another program's.
        stray = self.unix(INSTALLED[25])
        Path(stray).write_bytes(picture('PNG'))
        self.addCleanup(lambda: os.path.exists(stray) and os.unlink(stray))
        self.files_before = self.files() - {os.path.relpath(stray, self.drive_c).lower()}
        self.assert_held_picture_changes_nothing('')
        bundled = self.pictures_in()
        # Over that install, with a folder's pictures; the folder stays as it was.
        self.assert_held_picture_changes_nothing('"/PICTURES=%s"' % folder)
        self.assertEqual(self.pictures_in(), in_turns(pictures))
        self.assertEqual(self.folder_contents(folder), before)
        # Setup without a folder puts the bundled pictures back, and they show.
        self.install()
        self.assertEqual(self.pictures_in(), bundled)
        self.assert_shows_picture_001()

    def test_the_pictures_page_counts_a_typed_folder_from_where_setup_started(self):
        launch = r'C:\launch'
        pictures = [picture('PNG', (10, 20, 30)), picture('PNG', (30, 20, 10))]
        self.picture_folder(launch, {os.path.join('pics', n): data
                                     for n, data in zip(('a.png', 'b.png'), pictures)})
        p = self.s.start_program(SETUP_EXE, cwd=self.unix(launch))
        self.addCleanup(self.s.kill, p)
        window = self.s.wait_window(title='ZARVO %s セットアップ' % VERSION, timeout=30)
        self.s.key('Return', window=window)  # the welcome page's [次へ]

        def control(text=None, cls=None):
            return harness.wait_until(lambda: next(
                (c for c in self.s.probe('children', window['hwnd']) if c['visible'] and
                 text in (None, c['text']) and cls in (None, c['class'])), None), 20)
        radio = control('フォルダーの中の画像:')
        self.s.probe('post', radio['hwnd'], 0x00F5)  # BM_CLICK
        field = control(cls='Edit')

        def texts():
            return [c['text'] for c in self.s.probe('children', window['hwnd'])]

        def shown(text):
            return harness.wait_until(lambda: any(text in t for t in texts()), 60)

        def enter(typed):
            r = field['rect']
            self.s.click(1, (r[0] + r[2]) // 2, (r[1] + r[3]) // 2)
            self.s.key('End', *['BackSpace'] * 16, window=window)
            self.s.xdotool('type', '--delay', 30, typed)
            self.s.key('Return', window=window)  # [次へ]
        enter(r'Q:\pictures')
        self.assertTrue(shown('このフォルダーを開けません。ネットワーク ドライブの'), texts())
        # Counted from where setup started; the page moves on by itself.
        enter('pics')
        self.assertTrue(shown('インストールが完了しました'), texts())
        self.assertEqual(self.pictures_in(), in_turns(pictures))


    def test_the_picture_tool_run_twice_on_its_own_folder_the_second_run_changes_nothing(self):
        # zarvo-pictures.exe as the zip ships it. Explorer's order, which is
        # Windows' and not its model's outside ASCII: é with the e's, not after z.
        order = ['d.dds', 'élan.png', 'fjord.png'] + ['IMG_%d.png' % i for i in range(1, 11)] + [
            't.tga', 'x.jxr', 'z.tif']
        pictures = {name: picture('PNG', (20 * i, 50, 0)) for i, name in enumerate(order[1:13])}
        # As the zip leaves it, with a copy left over by a run that was cut
        # off and files that only look like pictures: none of them is taken.
        others = {name: picture('PNG', (0, 0, 5 * k)) for k, name in enumerate(PICTURES)}
        others.update({'ZARVO007.DAT.new': picture('PNG', (0, 255, 0)), 'notes.txt': b'hello',
                       'fake.jpg': b'\xff\xd8 not a picture'})
        folder = r'C:\zarvo zip'
        self.picture_folder(folder, {**pictures, **others})
        # Formats only the system's codecs decode, judged from their head; the
        # TIFF keeps its directory at its end, far beyond the head read.
        for name, fmt, w, h in (('d.dds', 'dds', 64, 48), ('t.tga', 'tga', 50, 40),
                                ('x.jxr', 'jxr', 64, 32), ('z.tif', 'big-tiff', 400, 300)):
            good_picture(self.unix(folder + '\\' + name), w, h, fmt)
            pictures[name] = Path(self.unix(folder + '\\' + name)).read_bytes()
        shutil.copy(picture_tool(), self.unix(folder + r'\zarvo-pictures.exe'))
        for run in (1, 2):
            with self.subTest(run=run):
                rc, out = self.s.run(folder + r'\zarvo-pictures.exe', folder)
                self.assertEqual(rc, 0, out)
                self.assertEqual(self.pictures_in(folder), in_turns([pictures[n] for n in order]))
                self.assertEqual(sorted(os.listdir(self.unix(folder))), sorted(
                    order + PICTURES + ['zarvo-pictures.exe', 'notes.txt', 'fake.jpg']))


def picture_tool():
    return harness.built('ZARVO_PICTURES_TOOL', 'src', 'setup', 'win32', 'zarvo-pictures.exe')


def in_turns(pictures):
    """The fifty pictures installed from a folder of fewer: its own, over and over."""
    return [pictures[k % len(pictures)] for k in range(50)]


def picture(fmt, colour=(200, 100, 50)):
    out = io.BytesIO()
    Image.new('RGB', (40, 30), colour).save(out, fmt)
    return out.getvalue()


class PackagesWithoutWine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix='zarvo-package-')
        cls.addClassCleanup(shutil.rmtree, cls.tmp, ignore_errors=True)
        cls.pictures = os.path.join(cls.tmp, 'pictures')
        os.makedirs(cls.pictures)
        for name in PICTURES:
            convert('-size', '48x32', 'xc:#4080c0', 'PNG24:' + os.path.join(cls.pictures, name))
        cls.credits = os.path.join(cls.tmp, 'credits')
        os.makedirs(os.path.join(cls.credits, 'licenses'))
        Path(cls.credits, 'licenses', 'X-1.txt').write_bytes(b'licence X\r\n')
        Path(cls.credits, 'CREDITS.txt').write_bytes(''.join(
            '%s\r\n  Title:   Blue %d\r\n  Author:  Ann Ö\r\n  From:    nowhere\r\n'
            '  Licence: X-1 (licenses/X-1.txt)\r\n\r\n' % (n, i) for i, n in enumerate(PICTURES))
            .encode('utf-8-sig'))

    def test_picture_folder_check_names_the_wrong_file(self):
        # A good folder passes with every build.
        for change, message in (('missing', b'ZARVO037.DAT is missing'),
                                ('extra', b"unexpected file 'ZARVO051.DAT'")):
            with self.subTest(change):
                folder = os.path.join(self.tmp, change)
                shutil.copytree(self.pictures, folder)
                if change == 'missing':
                    os.unlink(os.path.join(folder, 'ZARVO037.DAT'))
                else:
                    open(os.path.join(folder, 'ZARVO051.DAT'), 'wb').close()
                r = subprocess.run(['cmake', '-DZARVO_PICTURES=' + folder, '-P',
                                    os.path.join(INSTALLER_DIR, 'pictures.cmake')],
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60)
                self.assertNotEqual(r.returncode, 0)
                self.assertIn(message, r.stdout)

    def make_zip(self, name, *credits):
        out, tool = os.path.join(self.tmp, name), picture_tool()
        subprocess.run(['cmake', '-DSCR=' + zarvo_scr(), '-DTOOL=' + tool, '-DPICTURES=' + self.pictures,
                        '-DLICENSE=' + LICENSE, *credits,
                        '-DOUT=' + out, '-DSTAGE=' + os.path.join(self.tmp, 'stage'),
                        '-DVERSION=' + VERSION, '-P', os.path.join(INSTALLER_DIR, 'make-zip.cmake')],
                       check=True, stdout=subprocess.DEVNULL, timeout=120)
        return out, tool

    def test_zip_holds_the_saver_pictures_read_mes_licence_and_the_credits_given(self):
        top = 'ZARVO-%s/' % VERSION
        credits = {'CREDITS.txt': os.path.join(self.credits, 'CREDITS.txt'),
                   'licenses/X-1.txt': os.path.join(self.credits, 'licenses', 'X-1.txt')}
        # -DZARVO_PICTURES without -DZARVO_CREDITS: pictures of one's own.
        for name, options, copies in (('zarvo.zip', ['-DCREDITS=' + self.credits], credits),
                                      ('own.zip', [], {})):
            with self.subTest(name):
                out, tool = self.make_zip(name, *options)
                copies = dict(copies, **{'zarvo.scr': zarvo_scr(), 'zarvo-pictures.exe': tool})
                with zipfile.ZipFile(out) as z:
                    self.assertEqual(sorted(z.namelist()), sorted(top + n for n in [
                        'README-ja.txt', 'README-en.txt', 'LICENSE.txt'] + list(copies) + PICTURES))
                    for file, path in copies.items():
                        self.assertEqual(z.read(top + file), Path(path).read_bytes(), file)
                    ja, en, lic = (z.read(top + n) for n in ('README-ja.txt', 'README-en.txt',
                                                             'LICENSE.txt'))
                # Notepad shows UTF-8 with a BOM correctly on every Windows version.
                for text in (ja, lic):
                    self.assertTrue(text.startswith(b'\xef\xbb\xbf'))
                self.assertIn('インストール', ja[3:].decode('utf-8'))
                en.decode('ascii')
                for text in (ja, en, lic):
                    self.assertNotIn(b'\n', text.replace(b'\r\n', b''), 'a line not ended by CR LF')

    def test_package_check_names_what_is_missing_or_broken(self):
        good = self.make_zip('good.zip', '-DCREDITS=' + self.credits)[0]
        top = 'ZARVO-%s/' % VERSION

        def without_licence(text):
            return text.replace(b'  Licence: X-1 (licenses/X-1.txt)\r\n', b'', 1)
        # A good package passes with every build.
        for file, change, message in (
                ('ZARVO010.DAT', lambda data: data[:len(data) // 2], 'ZARVO010.DAT: does not decode'),
                ('CREDITS.txt', without_licence, 'ZARVO001.DAT: no Licence in CREDITS.txt'),
                ('licenses/X-1.txt', None, 'licenses/X-1.txt is not in the package'),
                ('LICENSE.txt', lambda data: data + b'more', 'LICENSE.txt is not the text'),
                ('CREDITS.txt', None, 'no CREDITS.txt')):
            with self.subTest(file):
                out = os.path.join(self.tmp, 'changed.zip')
                with zipfile.ZipFile(good) as z, zipfile.ZipFile(out, 'w') as changed:
                    for name in z.namelist():
                        if name != top + file:
                            changed.writestr(name, z.read(name))
                        elif change:
                            changed.writestr(name, change(z.read(name)))
                r = subprocess.run(['/usr/bin/python3', os.path.join(INSTALLER_DIR, 'check_package.py'),
                                    '--license', LICENSE, '--credits', out],
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=60)
                self.assertNotEqual(r.returncode, 0)
                self.assertIn(message, r.stdout)


if __name__ == '__main__':
    unittest.main()
