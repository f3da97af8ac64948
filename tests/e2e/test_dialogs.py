#!/usr/bin/python3
"""The configuration dialog and the About box of zarvo.scr under Wine.

Run:  ZARVO_SCR=build/win32/zarvo.scr /usr/bin/python3 -m unittest -v test_dialogs
(from tests/e2e).  The screen is 96 DPI, so a design size in twips is
twips / 15 pixels.
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = harness.REPO_ROOT

WS_THICKFRAME = 0x00040000
WS_MINIMIZEBOX = 0x00020000
WS_MAXIMIZEBOX = 0x00010000
WS_CAPTION = 0x00C00000
WS_EX_APPWINDOW = 0x00040000
WS_EX_TOOLWINDOW = 0x00000080
BS_TYPEMASK = 0x0F
BS_DEFPUSHBUTTON = 0x01

NO_SYSINFO = 'この環境ではシステム情報を使用できません。'
TOOL_KEY = r'HKLM\SOFTWARE\Microsoft\Shared Tools\MSINFO'
FOLDER_KEY = r'HKLM\SOFTWARE\Microsoft\Shared Tools Location'
# Volatile keys Wine's user32 makes for the first window any process shows.
WINE_OWN_KEY = r'Software\Wine\Temporary System Parameters'


def find_scr():
    path = os.environ.get('ZARVO_SCR')
    if path:
        return path
    found = glob.glob(os.path.join(REPO, 'build*', '**', 'zarvo.scr'),
                      recursive=True)
    if not found:
        raise unittest.SkipTest('zarvo.scr not built; set ZARVO_SCR')
    return max(found, key=os.path.getmtime)


def find_marker():
    """The stand-in tool (tests/e2e/marker): built by the product build when
    it is hooked in, else cross-compiled here."""
    path = os.environ.get('ZARVO_MARKER')
    if path:
        return path
    build = os.environ.get('ZARVO_BUILD_DIR')
    if build:
        built = os.path.join(build, 'tests', 'e2e', 'marker', 'zarvo-marker.exe')
        if os.path.isfile(built):
            return built
    out = os.path.join(tempfile.mkdtemp(prefix='zarvo-marker-'), 'zarvo-marker.exe')
    subprocess.run(['i686-w64-mingw32-g++', '-O2', '-municode', '-mwindows', '-static',
                    '-o', out, os.path.join(HERE, 'marker', 'marker.cpp')], check=True)
    return out


def version_resource():
    """The values the About box shows, as the product's resource script has them."""
    with open(os.path.join(REPO, 'res', 'zarvo.rc'), encoding='utf-8') as f:
        rc = f.read()
    values = dict(re.findall(r'VALUE\s+"(\w+)",\s+"([^"]*)"', rc))
    major, minor, _, revision = re.search(
        r'FILEVERSION\s+(\d+),\s*(\d+),\s*(\d+),\s*(\d+)', rc).groups()
    return {
        'title': values.get('ProductName') or values['FileDescription'],
        'company': values['CompanyName'],
        'copyright': values['LegalCopyright'],
        'version': '%d.%d.%d' % (int(major), int(minor), int(revision)),
    }


def size(rect):
    left, top, right, bottom = rect
    return right - left, bottom - top


def centre(rect):
    left, top, right, bottom = rect
    return (left + right) // 2, (top + bottom) // 2


class DialogTest(unittest.TestCase):
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        cls.scr = find_scr()
        cls.s = harness.WineSession().start()
        cls.prefix = cls.s.env['WINEPREFIX']
        cls.version = version_resource()

    @classmethod
    def tearDownClass(cls):
        cls.s.close()

    def tearDown(self):
        for p in getattr(self, 'procs', []):
            self.s.kill(p)
        self.procs = []

    # -- helpers

    def reg(self, *args):
        subprocess.run(['wine', 'reg'] + list(args), env=self.s.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def reg_delete(self, key):
        subprocess.run(['wine', 'reg', 'delete', key, '/f'], env=self.s.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def open_dialog(self, *args):
        p = self.s.start_program(self.scr, *(args or ('/c',)))
        self.procs = getattr(self, 'procs', []) + [p]
        w = self.s.wait_window(cls='ZarvoForm', timeout=30)
        self.assertIsNotNone(w, 'the configuration dialog did not appear')
        # The window may be shown a moment before its controls settle.
        time.sleep(0.3)
        return p, self.s.window_info(w['hwnd'])

    def child(self, hwnd, text):
        found = [c for c in self.s.children(hwnd) if c['text'] == text]
        self.assertEqual(len(found), 1, 'no single control "%s"' % text)
        return found[0]

    def keys(self, window, *keys):
        self.s.x_focus(window['xwin'])
        self.s.key(*keys)

    def click(self, control):
        x, y = centre(control['rect'])
        self.s.click(1, x, y)

    def focus(self):
        rc, out = self.s.probe('foreground')
        gui = harness.parse_output(out, 'gui')
        return gui[0]['focus'] if gui else None

    def open_about(self, dialog):
        self.keys(dialog, 'alt+h')
        time.sleep(0.3)
        self.keys(dialog, 'v')
        about = self.s.wait_window(title=self.version['title'] + 'のﾊﾞｰｼﾞｮﾝ情報', timeout=10)
        self.assertIsNotNone(about, 'Alt+H, V did not open the About box')
        time.sleep(0.3)
        return self.s.window_info(about['hwnd'])

    def assert_ends(self, p, what):
        self.assertIsNotNone(self.s.wait_exit(p, 15), what + ' did not end the program')

    def message_box(self, timeout=10):
        return self.s.wait_window(cls='#32770', timeout=timeout)

    # -- the configuration dialog

    def test_dialog_opens_centred_with_its_layout_and_focus(self):
        p, w = self.open_dialog()
        self.assertEqual(w['title'], self.version['title'])
        self.assertEqual(size(w['client']), (433, 73))  # 6495 x 1095 twips
        screen_w, screen_h = self.s.screen_size
        cx, cy = centre(w['rect'])
        self.assertLessEqual(abs(cx - screen_w // 2), 1)
        self.assertLessEqual(abs(cy - screen_h // 2), 1)
        self.assertEqual(w['style'] & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0)
        self.assertEqual(w['style'] & WS_CAPTION, WS_CAPTION)
        self.assertTrue(w['exstyle'] & WS_EX_APPWINDOW, 'not in the task bar')
        self.assertEqual(w['topmost'], 0)
        self.assertEqual(w['owner'], 0)

        ok = self.child(w['hwnd'], 'ＯＫ')
        cancel = self.child(w['hwnd'], 'キャンセル')
        label = self.child(w['hwnd'], '設定項目はございません。')
        self.assertEqual((ok['class'], ok['rel']), ('Button', (344, 8, 425, 33)))
        self.assertEqual((cancel['class'], cancel['rel']), ('Button', (344, 40, 425, 65)))
        self.assertEqual((label['class'], label['rel']), ('Static', (8, 16, 217, 33)))
        self.assertEqual(ok['style'] & BS_TYPEMASK, BS_DEFPUSHBUTTON)
        self.assertNotEqual(cancel['style'] & BS_TYPEMASK, BS_DEFPUSHBUTTON)
        self.assertEqual(len(self.s.children(w['hwnd'])), 3)
        self.assertEqual(self.focus(), ok['hwnd'])
        self.s.close_window(w['hwnd'])
        self.assert_ends(p, 'closing')

    def test_empty_command_line_and_lower_case_switch_open_it_too(self):
        for args in (('/c',), ('/C',), ()):
            with self.subTest(args=args):
                p = self.s.start_program(self.scr, *args)
                self.procs = getattr(self, 'procs', []) + [p]
                w = self.s.wait_window(cls='ZarvoForm', timeout=30)
                self.assertIsNotNone(w)
                self.assertEqual(w['title'], self.version['title'])
                self.s.close_window(w['hwnd'])
                self.assert_ends(p, 'closing')

    def test_ok_cancel_enter_escape_and_close_each_end_the_program(self):
        ways = {
            'click OK': lambda w: self.click(self.child(w['hwnd'], 'ＯＫ')),
            'click Cancel': lambda w: self.click(self.child(w['hwnd'], 'キャンセル')),
            'Enter': lambda w: self.keys(w, 'Return'),
            'Esc': lambda w: self.keys(w, 'Escape'),
            'Esc with the focus on Cancel': lambda w: self.keys(w, 'Tab', 'Escape'),
            'close': lambda w: self.s.close_window(w['hwnd']),
            'Alt+F4': lambda w: self.keys(w, 'alt+F4'),
        }
        for name, act in ways.items():
            with self.subTest(way=name):
                p, w = self.open_dialog()
                act(w)
                self.assert_ends(p, name)
                self.assertIsNone(self.message_box(timeout=0.5))

    # -- the About box

    def test_menu_opens_the_about_box_modally_and_each_closing_returns(self):
        p, dialog = self.open_dialog()
        about = self.open_about(dialog)
        v = self.version
        self.assertEqual(size(about['client']), (407, 192))  # 6105 x 2880 twips
        self.assertEqual(about['style'] & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0)
        self.assertFalse(about['exstyle'] & WS_EX_APPWINDOW, 'About box in the task bar')
        self.assertEqual(centre(about['rect']), centre(dialog['rect']))
        self.assertEqual(self.s.window_info(dialog['hwnd'])['enabled'], 0,
                         'the dialog takes input while the About box is open')

        kids = self.s.children(about['hwnd'])
        by_rel = {c['rel']: c for c in kids}
        expected = [
            # (left, top, right, bottom) in pixels, class, text
            ((16, 16, 48, 48), 'Static', ''),  # picIcon
            ((304, 132, 396, 155), 'Button', 'OK'),
            ((304, 160, 396, 183), 'Button', 'ｼｽﾃﾑ情報(&S)...'),
            ((12, 80, 400, 110), 'Static', v['copyright'].replace('  ', '\r\n')),
            ((12, 62, 396, 77), 'Static', v['company']),
            ((68, 228, 327, 306), 'Static', 'ｱﾌﾟﾘｹｰｼｮﾝの説明'),
            ((70, 16, 397, 35), 'Static', v['title']),
            ((70, 40, 397, 55), 'Static', 'ﾊﾞｰｼﾞｮﾝ ' + v['version']),
            ((12, 144, 294, 179), 'Static', ''),  # lblDisclaimer, emptied
        ]
        for rel, cls, text in expected:
            with self.subTest(control=rel):
                self.assertIn(rel, by_rel)
                self.assertEqual((by_rel[rel]['class'], by_rel[rel]['text']), (cls, text))
        # The etched rule: two pixels of white over one of grey.
        self.assertIn((8, 120, 400, 122), by_rel)
        self.assertIn((8, 122, 400, 123), by_rel)
        ok = by_rel[(304, 132, 396, 155)]
        self.assertEqual(ok['style'] & BS_TYPEMASK, BS_DEFPUSHBUTTON)
        self.assertEqual(self.focus(), ok['hwnd'])
        img = self.s.screenshot()
        left, top = about['client'][:2]
        self.assertEqual(harness.pixel(img, left + 200, top + 120), (255, 255, 255))
        self.assertEqual(harness.pixel(img, left + 200, top + 122), (128, 128, 128))

        # Esc closes it; the dialog works again; the next opening is a fresh box.
        self.keys(about, 'Escape')
        self.assertTrue(self.s.wait_gone(about['hwnd'], 10))
        self.assertIsNone(self.s.wait_exit(p, 0.5), 'closing the About box ended the program')
        self.assertEqual(self.s.window_info(dialog['hwnd'])['enabled'], 1)
        for close in (lambda a: self.keys(a, 'Return'),
                      lambda a: self.click(self.child(a['hwnd'], 'OK')),
                      lambda a: self.s.close_window(a['hwnd'])):
            again = self.open_about(dialog)
            self.assertNotEqual(again['hwnd'], about['hwnd'])
            self.child(again['hwnd'], 'ﾊﾞｰｼﾞｮﾝ ' + v['version'])
            self.assertEqual(self.focus(), self.child(again['hwnd'], 'OK')['hwnd'])
            close(again)
            self.assertTrue(self.s.wait_gone(again['hwnd'], 10))
            self.assertIsNone(self.s.wait_exit(p, 0.5))
        self.keys(self.s.window_info(dialog['hwnd']), 'Escape')
        self.assert_ends(p, 'Esc after the About box')

    def test_sysinfo_without_the_tool_says_it_is_unavailable(self):
        self.reg_delete(TOOL_KEY)
        self.reg_delete(FOLDER_KEY)
        p, dialog = self.open_dialog()
        about = self.open_about(dialog)
        self.click(self.child(about['hwnd'], 'ｼｽﾃﾑ情報(&S)...'))
        box = self.message_box()
        self.assertIsNotNone(box, 'no message')
        self.assertEqual(box['title'], self.version['title'])
        kids = self.s.children(box['hwnd'])
        self.assertIn(NO_SYSINFO, [c['text'] for c in kids])
        self.assertEqual(len([c for c in kids if c['class'] == 'Button' and c['visible']]), 1)
        self.keys(box, 'Return')
        self.assertTrue(self.s.wait_gone(box['hwnd'], 10))
        self.assertIsNotNone(self.s.window_info(about['hwnd']), 'the About box closed')
        self.keys(self.s.window_info(about['hwnd']), 'Escape')
        self.assertTrue(self.s.wait_gone(about['hwnd'], 10))
        self.keys(self.s.window_info(dialog['hwnd']), 'Escape')
        self.assert_ends(p, 'Esc')

    # -- the launcher: exactly the named file runs

    def place_marker(self, windows_path):
        unix = os.path.join(self.prefix, 'drive_c', *windows_path[3:].split('\\'))
        os.makedirs(os.path.dirname(unix), exist_ok=True)
        shutil.copy(find_marker(), unix)
        if os.path.exists(unix + '.ran'):
            os.remove(unix + '.ran')
        self.addCleanup(lambda: os.path.exists(unix) and os.remove(unix))
        self.addCleanup(lambda: os.path.exists(unix + '.ran') and os.remove(unix + '.ran'))
        return unix

    def run_sysinfo(self):
        p, dialog = self.open_dialog()
        about = self.open_about(dialog)
        self.click(self.child(about['hwnd'], 'ｼｽﾃﾑ情報(&S)...'))
        return p, dialog, about

    def finish(self, p, dialog, about):
        self.assertIsNone(self.message_box(timeout=1), 'the launch failed')
        self.keys(self.s.window_info(about['hwnd']), 'Escape')
        self.assertTrue(self.s.wait_gone(about['hwnd'], 10))
        self.keys(self.s.window_info(dialog['hwnd']), 'Escape')
        self.assert_ends(p, 'Esc')

    def test_a_tool_path_with_blanks_starts_exactly_that_file(self):
        tool = self.place_marker(r'C:\Program Files\Zarvo Test\msinfo32.exe')
        decoy = self.place_marker(r'C:\Program.exe')
        self.reg_delete(FOLDER_KEY)
        self.reg('add', TOOL_KEY, '/v', 'PATH', '/d',
                 r'C:\Program Files\Zarvo Test\msinfo32.exe', '/f')
        self.addCleanup(self.reg_delete, TOOL_KEY)
        p, dialog, about = self.run_sysinfo()
        self.assertTrue(harness.wait_until(lambda: os.path.exists(tool + '.ran'), 15),
                        'the tool was not started')
        self.assertFalse(os.path.exists(decoy + '.ran'), r'C:\Program.exe was started')
        self.finish(p, dialog, about)

    def test_the_second_value_names_the_tools_folder(self):
        tool = self.place_marker(r'C:\Zarvo Tools\MSINFO32.EXE')
        decoy = self.place_marker(r'C:\Zarvo.exe')
        self.reg_delete(TOOL_KEY)
        self.reg('add', FOLDER_KEY, '/v', 'MSINFO', '/d', r'C:\Zarvo Tools', '/f')
        self.addCleanup(self.reg_delete, FOLDER_KEY)
        p, dialog, about = self.run_sysinfo()
        self.assertTrue(harness.wait_until(lambda: os.path.exists(tool + '.ran'), 15),
                        'the tool was not started')
        self.assertFalse(os.path.exists(decoy + '.ran'))
        self.finish(p, dialog, about)

    # -- nothing written

    def snapshot(self):
        """Registry and files a run could have left something in."""
        registry = {}
        for root in ('HKCU', r'HKLM\Software'):
            dump = self.s.probe('registry-dump', root, timeout=120, check=True)[1]
            registry[root] = set(
                (r['kind'], r.get('path', r.get('key')), r.get('name'), r.get('data'))
                for r in harness.parse_output(dump)
                if not r.get('path', r.get('key', '')).startswith(WINE_OWN_KEY))
        files = {}
        for top in (os.path.join(self.prefix, 'drive_c'), os.path.dirname(os.path.abspath(self.scr))):
            for folder, _, names in os.walk(top):
                for name in names:
                    path = os.path.join(folder, name)
                    try:
                        st = os.stat(path)
                    except OSError:
                        continue
                    files[path] = (st.st_size, st.st_mtime_ns)
        return registry, files

    def test_neither_dialog_writes_to_disk_or_registry(self):
        self.reg_delete(TOOL_KEY)
        self.reg_delete(FOLDER_KEY)
        before = self.snapshot()
        p, dialog = self.open_dialog()
        about = self.open_about(dialog)
        self.click(self.child(about['hwnd'], 'ｼｽﾃﾑ情報(&S)...'))
        box = self.message_box()
        self.assertIsNotNone(box)
        self.keys(box, 'Return')
        self.assertTrue(self.s.wait_gone(box['hwnd'], 10))
        self.keys(self.s.window_info(about['hwnd']), 'Escape')
        self.assertTrue(self.s.wait_gone(about['hwnd'], 10))
        self.click(self.child(dialog['hwnd'], 'ＯＫ'))
        self.assert_ends(p, 'OK')
        after = self.snapshot()
        for root in before[0]:
            old, new = before[0][root], after[0][root]
            self.assertEqual((sorted(old - new), sorted(new - old)), ([], []), root)
        changed = sorted(k for k in set(before[1]) | set(after[1])
                         if before[1].get(k) != after[1].get(k))
        self.assertEqual(changed, [])


if __name__ == '__main__':
    unittest.main()
