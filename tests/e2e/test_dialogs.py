#!/usr/bin/python3
"""The configuration dialog and the About box of zarvo.scr under Wine, as
Windows lays them out and drives them. The screen is 96 DPI, so a size of
n twips is n / 15 pixels."""
import os
import re
import shutil
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from saver_fixture import SAVER_CLASS, SaverFolder  # noqa: E402

WS_THICKFRAME_MINIMIZEBOX_MAXIMIZEBOX = 0x00070000
WS_CAPTION = 0x00C00000
WS_EX_APPWINDOW = 0x00040000
BS_TYPEMASK = 0x0F
BS_DEFPUSHBUTTON = 0x01
SYSINFO_BUTTON = 'ｼｽﾃﾑ情報(&S)...'
TOOL_KEY = r'HKLM\SOFTWARE\Microsoft\Shared Tools\MSINFO'
FOLDER_KEY = r'HKLM\SOFTWARE\Microsoft\Shared Tools Location'
# Volatile key in which Wine keeps what a program changes for the session only.
WINE_OWN_KEY = r'Software\Wine\Temporary System Parameters'


def version_resource():
    """The values the About box shows, as the product's resource script has them."""
    with open(os.path.join(harness.REPO_ROOT, 'res', 'zarvo.rc'), encoding='utf-8') as f:
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
    return rect[2] - rect[0], rect[3] - rect[1]


def centre(rect):
    return (rect[0] + rect[2]) // 2, (rect[1] + rect[3]) // 2


class DialogTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.s = harness.WineSession().start()
        cls.f = SaverFolder(cls.s)
        subprocess.run(['convert', '-size', '400x300', 'xc:#2040a0', 'png:' + cls.f.picture(1)],
                       check=True)
        cls.drive_c = os.path.join(cls.s.env['WINEPREFIX'], 'drive_c')
        cls.version = version_resource()

    @classmethod
    def tearDownClass(cls):
        cls.s.close()
        cls.f.remove()

    def reg(self, *args):
        subprocess.run(['wine', 'reg'] + list(args), env=self.s.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    def open_dialog(self):
        p = self.f.start('/c')
        self.addCleanup(self.s.kill, p)
        w = self.s.wait_window(cls='ZarvoForm', timeout=30)
        self.assertIsNotNone(w, 'the configuration dialog did not appear')
        time.sleep(0.3)  # the window may be shown a moment before its controls settle
        return p, self.s.window_info(w['hwnd'])

    def child(self, hwnd, text):
        found = [c for c in self.s.children(hwnd) if c['text'] == text]
        self.assertEqual(len(found), 1, 'no single control "%s"' % text)
        return found[0]

    def click(self, control):
        self.s.click(1, *centre(control['rect']))

    def open_about(self, dialog):
        self.s.key('alt+h', window=dialog)
        time.sleep(0.3)
        self.s.key('v', window=dialog)
        about = self.s.wait_window(title=self.version['title'] + 'のﾊﾞｰｼﾞｮﾝ情報', timeout=10)
        self.assertIsNotNone(about, 'Alt+H, V did not open the About box')
        time.sleep(0.3)
        return self.s.window_info(about['hwnd'])

    def close(self, window):
        self.s.key('Escape', window=self.s.window_info(window['hwnd']))
        self.assertTrue(self.s.wait_gone(window['hwnd'], 10))

    def assert_ends(self, p, what):
        self.assertIsNotNone(self.s.wait_exit(p, 15), what + ' did not end the program')

    def test_dialog_opens_centred_with_its_layout_and_focus(self):
        p, w = self.open_dialog()
        self.assertEqual(w['title'], self.version['title'])
        self.assertEqual(size(w['client']), (433, 73))  # 6495 x 1095 twips
        screen_w, screen_h = self.s.screen_size
        self.assertLessEqual(abs(centre(w['rect'])[0] - screen_w // 2), 1)
        self.assertLessEqual(abs(centre(w['rect'])[1] - screen_h // 2), 1)
        self.assertEqual(w['style'] & WS_THICKFRAME_MINIMIZEBOX_MAXIMIZEBOX, 0)
        self.assertEqual(w['style'] & WS_CAPTION, WS_CAPTION)
        self.assertTrue(w['exstyle'] & WS_EX_APPWINDOW, 'not in the task bar')
        self.assertEqual((w['topmost'], w['owner']), (0, 0))
        controls = {c['text']: c for c in self.s.children(w['hwnd'])}
        self.assertEqual({text: (c['class'], c['rel']) for text, c in controls.items()}, {
            'ＯＫ': ('Button', (344, 8, 425, 33)),
            'キャンセル': ('Button', (344, 40, 425, 65)),
            '設定項目はございません。': ('Static', (8, 16, 217, 33)),
        })
        self.assertEqual(controls['ＯＫ']['style'] & BS_TYPEMASK, BS_DEFPUSHBUTTON)
        self.assertNotEqual(controls['キャンセル']['style'] & BS_TYPEMASK, BS_DEFPUSHBUTTON)
        self.assertEqual(self.s.focus(), controls['ＯＫ']['hwnd'])
        self.s.close_window(w['hwnd'])
        self.assert_ends(p, 'closing')

    def test_buttons_and_keys_each_end_the_program(self):
        ways = {
            'click OK': lambda w: self.click(self.child(w['hwnd'], 'ＯＫ')),
            'Enter': lambda w: self.s.key('Return', window=w),
            'Esc with the focus on Cancel': lambda w: self.s.key('Tab', 'Escape', window=w),
            'Alt+F4': lambda w: self.s.key('alt+F4', window=w),
        }
        for name, act in ways.items():
            with self.subTest(name):
                p, w = self.open_dialog()
                act(w)
                self.assert_ends(p, name)
                self.assertIsNone(self.s.wait_window(cls='#32770', timeout=0.5))

    def test_menu_opens_the_about_box_modally(self):
        p, dialog = self.open_dialog()
        about = self.open_about(dialog)
        v = self.version
        self.assertEqual(size(about['client']), (407, 192))  # 6105 x 2880 twips
        self.assertEqual(about['style'] & WS_THICKFRAME_MINIMIZEBOX_MAXIMIZEBOX, 0)
        self.assertFalse(about['exstyle'] & WS_EX_APPWINDOW, 'About box in the task bar')
        self.assertEqual(centre(about['rect']), centre(dialog['rect']))
        self.assertEqual(self.s.window_info(dialog['hwnd'])['enabled'], 0,
                         'the dialog takes input while the About box is open')
        by_rel = {c['rel']: c for c in self.s.children(about['hwnd'])}
        expected = {
            (16, 16, 48, 48): ('Static', ''),  # the icon
            (304, 132, 396, 155): ('Button', 'OK'),
            (304, 160, 396, 183): ('Button', SYSINFO_BUTTON),
            (12, 80, 400, 110): ('Static', v['copyright'].replace('  ', '\r\n')),
            (12, 62, 396, 77): ('Static', v['company']),
            (68, 228, 327, 306): ('Static', 'ｱﾌﾟﾘｹｰｼｮﾝの説明'),
            (70, 16, 397, 35): ('Static', v['title']),
            (70, 40, 397, 55): ('Static', 'ﾊﾞｰｼﾞｮﾝ ' + v['version']),
            (12, 144, 294, 179): ('Static', ''),  # the disclaimer, emptied
            (8, 120, 400, 122): ('Static', ''),  # the etched rule: white over grey
            (8, 122, 400, 123): ('Static', ''),
        }
        self.assertEqual({rel: (c['class'], c['text']) for rel, c in by_rel.items()}, expected)
        ok = by_rel[(304, 132, 396, 155)]
        self.assertEqual(ok['style'] & BS_TYPEMASK, BS_DEFPUSHBUTTON)
        self.assertEqual(self.s.focus(), ok['hwnd'])
        img = self.s.screenshot()
        left, top = about['client'][:2]
        self.assertEqual(harness.pixel(img, left + 200, top + 120), (255, 255, 255))
        self.assertEqual(harness.pixel(img, left + 200, top + 122), (128, 128, 128))
        self.close(about)
        self.assertIsNone(self.s.wait_exit(p, 0.5), 'closing the About box ended the program')
        self.assertEqual(self.s.window_info(dialog['hwnd'])['enabled'], 1)
        self.close(dialog)
        self.assert_ends(p, 'Esc after the About box')

    def place_marker(self, windows_path):
        """The stand-in tool at a C: path; returns the file it writes when run."""
        unix = os.path.join(self.drive_c, *windows_path[3:].split('\\'))
        os.makedirs(os.path.dirname(unix), exist_ok=True)
        shutil.copy(os.environ['ZARVO_MARKER'], unix)
        self.addCleanup(lambda: [os.remove(f) for f in (unix, unix + '.ran') if os.path.exists(f)])
        return unix + '.ran'

    def test_the_tool_named_in_the_registry_starts_exactly_that_file(self):
        # Each value names a path with a blank; what stands before the blank
        # must not run.
        cases = {
            'the tool': (TOOL_KEY, 'PATH', r'C:\Program Files\Zarvo Test\msinfo32.exe',
                         r'C:\Program Files\Zarvo Test\msinfo32.exe', r'C:\Program.exe'),
            "the tool's folder": (FOLDER_KEY, 'MSINFO', r'C:\Zarvo Tools',
                                  r'C:\Zarvo Tools\MSINFO32.EXE', r'C:\Zarvo.exe'),
        }
        for name, (key, value, data, tool, decoy) in cases.items():
            with self.subTest(name):
                tool_ran, decoy_ran = self.place_marker(tool), self.place_marker(decoy)
                self.reg('delete', TOOL_KEY, '/f')
                self.reg('delete', FOLDER_KEY, '/f')
                self.reg('add', key, '/v', value, '/d', data, '/f')
                p, dialog = self.open_dialog()
                about = self.open_about(dialog)
                self.click(self.child(about['hwnd'], SYSINFO_BUTTON))
                self.assertTrue(harness.wait_until(lambda: os.path.exists(tool_ran), 15),
                                'the tool was not started')
                self.assertFalse(os.path.exists(decoy_ran), decoy + ' was started')
                self.assertIsNone(self.s.wait_window(cls='#32770', timeout=1), 'the launch failed')
                self.close(about)
                self.close(dialog)
                self.assert_ends(p, 'Esc')
        self.reg('delete', key, '/f')

    def snapshot(self):
        """Registry and files a run could have left something in."""
        registry = {item for root in ('HKCU', r'HKLM\Software')
                    for item in self.s.registry_dump(root).items()
                    if not item[0][0].startswith(WINE_OWN_KEY)}
        files = {}
        for top in (self.drive_c, self.f.folder):
            for folder, _, names in os.walk(top):
                for name in names:
                    try:
                        st = os.stat(os.path.join(folder, name))
                    except OSError:
                        continue
                    files[os.path.join(folder, name)] = (st.st_size, st.st_mtime_ns)
        return registry, files

    def test_neither_the_saver_nor_the_dialogs_write_to_disk_or_registry(self):
        self.reg('delete', TOOL_KEY, '/f')
        self.reg('delete', FOLDER_KEY, '/f')
        before = self.snapshot()
        saver = self.f.start('/s')
        self.addCleanup(self.s.kill, saver)
        window = self.s.wait_window(cls=SAVER_CLASS, timeout=20)
        self.assertIsNotNone(window)
        time.sleep(1)  # the picture is up
        self.s.key('Escape', window=window)
        self.assert_ends(saver, 'Esc')
        p, dialog = self.open_dialog()
        about = self.open_about(dialog)
        # Without the tool: a message says it cannot be had, over the About box.
        self.click(self.child(about['hwnd'], SYSINFO_BUTTON))
        box = self.s.wait_window(cls='#32770', timeout=10)
        self.assertIsNotNone(box, 'no message')
        self.assertEqual(box['title'], self.version['title'])
        self.child(box['hwnd'], 'この環境ではシステム情報を使用できません。')
        self.s.key('Return', window=box)
        self.assertTrue(self.s.wait_gone(box['hwnd'], 10))
        self.close(about)
        self.click(self.child(dialog['hwnd'], 'ＯＫ'))
        self.assert_ends(p, 'OK')
        after = self.snapshot()
        self.assertEqual((sorted(before[0] - after[0]), sorted(after[0] - before[0])), ([], []))
        self.assertEqual(sorted(k for k in set(before[1]) | set(after[1])
                                if before[1].get(k) != after[1].get(k)), [])


if __name__ == '__main__':
    unittest.main()
