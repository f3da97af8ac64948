"""Several monitors for Wine on one Xvfb screen, as scripts/wine-env.sh
makes them from ZARVO_XINERAMA_HEADS. Wine makes the first head the primary
and moves the coordinates so that its top left corner is (0, 0): a head to
its left is at negative coordinates. Explorer and every Wine process read
the monitors once, when they start, so each layout gets a display, prefix
and wineserver of its own, from a shell that sourced wine-env.sh and lives
as long as the layout."""
import json
import os
import subprocess

import harness

WINE_ENV = os.path.join(harness.REPO_ROOT, 'scripts', 'wine-env.sh')
# Prints the environment wine-env.sh set up, then keeps it until its input
# closes; its trap then ends that wineserver and Xvfb.
SHELL = ('source "$0" >&2 && '
         '/usr/bin/python3 -c "import json, os; print(json.dumps(dict(os.environ)))" && read')


class Display:
    """The session's Wine programs on these heads (the primary first), from
    entering to leaving. With white_root, what no window covers shows white."""

    def __init__(self, session, heads, white_root=False):
        self.s, self.text, self.white_root = session, heads, white_root
        self.heads = [tuple(map(int, h.replace('x', '+').split('+'))) for h in heads.split(',')]

    @property
    def monitors(self):
        """Each monitor (l, t, r, b) as Windows sees it, the primary first at (0, 0)."""
        _, _, px, py = self.heads[0]
        return [(x - px, y - py, x - px + w, y - py + h) for w, h, x, y in self.heads]

    @property
    def primary(self):
        return self.monitors[0]

    def root_rect(self, rect):
        """A rectangle in Windows' coordinates, on the X screen."""
        px, py = self.heads[0][2:]
        return (rect[0] + px, rect[1] + py, rect[2] + px, rect[3] + py)

    def root_point(self, x, y):
        return self.root_rect((x, y, x, y))[:2]

    def __enter__(self):
        env = {k: v for k, v in self.s.env.items() if k != 'ZARVO_USE_DISPLAY'}
        env.update({'ZARVO_XVFB_ARGS': '-wr' if self.white_root else '',
                    'ZARVO_XINERAMA_HEADS': self.text if len(self.heads) > 1 else '',
                    'ZARVO_SCREEN': '%dx%dx24' % self.heads[0][:2]})
        self.s.close()  # programs of the display before go with it
        self.shell = subprocess.Popen(['bash', '-c', SHELL, WINE_ENV], env=env, text=True,
                                      stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                      stderr=subprocess.DEVNULL)
        line = self.shell.stdout.readline()
        if not line:
            self.shell.wait(30)
            raise harness.HarnessError('wine-env.sh failed for the heads %s' % self.text)
        self.saved, self.s.env = self.s.env, json.loads(line)
        return self

    def __exit__(self, *exc):
        self.s.close()
        self.s.env = self.saved
        self.shell.stdin.close()
        self.shell.wait(60)
        return False
