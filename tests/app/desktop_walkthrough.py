#!/usr/bin/python3
"""The full edition as a person uses it, on a real X desktop with a window
manager (run by run_under_xvfb.sh: Xvfb at 1280 x 1024 with openbox).

Starts quillonpro with a JPEG on the command line, reduces it to 16 colours,
zooms to 200 %, picks the transparent colour (the pick cursor, read back
from the X server, is the drawn cross, not a black block), scrolls the
picture by the wheel and the keys, crops (the crop cursor too), saves a GIF
through the save dialog, is asked before the second save replaces it,
maximises the window through the window manager, turns the picture and is
asked to save the change on Ctrl+X (Cancel keeps the window) and on the
window's close button (No ends it); starts again and finds the window
maximised, restores it (maximised and restored, the Edit menu opens under
its title), drags the toolbar (the outline must leave the screen as it is),
presses F1 with no program for web pages (a message gives the page's path),
scans from SANE's test scanner through its settings step and saves the scan
under its proposed name,
which is "Untitled" in the folder last used, and closes. Real input through
xdotool; screenshots in the folder given, pixels checked where they are
robust. Every step waits, by condition and never by time, for what must
receive its input (the window or dialog the desktop gives the keyboard to,
the drop-down menu showing its items) and for what its input does. Exits 77
when the desktop tools are missing.

Steps of their own go in a method of their own, called from walk(), and use
the waiting helpers: key(), type(), menu(), click(), wait_active(),
wait_menu(), wait_windows(), wait() and shot_until().

    desktop_walkthrough.py QUILLONPRO SCREENSHOT_FOLDER
"""
import ctypes
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

from PIL import Image, ImageChops, ImageDraw

IMPORT = '/usr/bin/import-im6.q16'
TITLE = '^Quillon Pro$'
BOX = '^Quillon Pro version 2.5$'  # the program's message boxes


class XFixesCursorImage(ctypes.Structure):
    _fields_ = [('x', ctypes.c_short), ('y', ctypes.c_short), ('width', ctypes.c_ushort),
                ('height', ctypes.c_ushort), ('xhot', ctypes.c_ushort), ('yhot', ctypes.c_ushort),
                ('cursor_serial', ctypes.c_ulong), ('pixels', ctypes.POINTER(ctypes.c_ulong)),
                ('atom', ctypes.c_ulong), ('name', ctypes.c_char_p)]


def shown_cursor():
    """The cursor the X server shows now (XFixes): hot spot and RGBA image."""
    x11 = ctypes.CDLL('libX11.so.6')
    xfixes = ctypes.CDLL('libXfixes.so.3')
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x11.XFree.argtypes = [ctypes.c_void_p]
    xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
    xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(XFixesCursorImage)
    display = x11.XOpenDisplay(None)
    try:
        pointer = xfixes.XFixesGetCursorImage(display)
        c = pointer.contents
        image = Image.new('RGBA', (c.width, c.height))
        for i in range(c.width * c.height):
            argb = c.pixels[i] & 0xFFFFFFFF
            image.putpixel((i % c.width, i // c.width),
                           ((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF, argb >> 24))
        hot = (c.xhot, c.yhot)
        x11.XFree(pointer)
        return hot, image
    finally:
        x11.XCloseDisplay(display)


class Failed(Exception):
    pass


def run(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout


def xdo(*args):
    return run('xdotool', *[str(a) for a in args])


def wait(what, predicate, timeout=20.0):
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > end:
            raise Failed('timed out waiting for ' + what)
        time.sleep(0.1)


class Walkthrough:
    def __init__(self, program, out):
        self.program = program
        self.out = out
        self.home = tempfile.mkdtemp(prefix='quillon_walk_')
        # A desktop without a program for web pages (the opener ends with
        # "no method available"), and SANE's test scanner as the only one.
        tools = os.path.join(self.home, 'tools')
        os.makedirs(tools)
        with open(os.path.join(tools, 'xdg-open'), 'w') as f:
            f.write('#!/bin/sh\necho "xdg-open: no method available for opening \'$1\'" >&2\nexit 3\n')
        os.chmod(os.path.join(tools, 'xdg-open'), 0o755)
        sane = os.path.join(self.home, 'sane')
        os.makedirs(sane)
        with open(os.path.join(sane, 'dll.conf'), 'w') as f:
            f.write('test\n')
        with open(os.path.join(sane, 'test.conf'), 'w') as f:
            f.write('number_of_devices 1\nmode Color\ndepth 8\nresolution 254\ntest-picture "Color pattern"\n'
                    'tl_x 0\ntl_y 0\nbr_x 40\nbr_y 30\n')
        self.env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(self.home, 'config'), QT_QPA_PLATFORM='xcb',
                        PATH=tools + os.pathsep + os.environ.get('PATH', ''), SANE_CONFIG_DIR=sane)
        self.proc = None
        self.shots = 0

    # ---- the desktop ----
    def shot(self, name):
        """A screenshot kept for a person to look at; it checks nothing by itself."""
        self.shots += 1
        path = os.path.join(self.out, '%02d_%s.png' % (self.shots, name))
        run(IMPORT, '-window', 'root', path)
        return Image.open(path).convert('RGB')

    def shot_until(self, what, predicate, name, timeout=20.0):
        """Screenshots until predicate(screen) holds; the last one is kept."""
        self.shots += 1
        path = os.path.join(self.out, '%02d_%s.png' % (self.shots, name))

        def taken():
            run(IMPORT, '-window', 'root', path)
            screen = Image.open(path).convert('RGB')
            return screen if predicate(screen) else None
        return wait(what, taken, timeout)

    def settled(self, name, box, timeout=60.0):
        """A screenshot once the screen's box (left, top, right, bottom)
        stops changing between two screenshots, cropped to it."""
        last = []

        def same(s):
            crop = s.crop(box)
            steady = bool(last) and ImageChops.difference(crop, last[-1]).getbbox() is None
            last.append(crop)
            return steady
        return self.shot_until('the screen to settle (%s)' % name, same, name, timeout).crop(box)

    def wait_windows(self, title, count, timeout=20.0):
        wait('%d window(s) "%s"' % (count, title), lambda: len(self.windows(title)) == count, timeout)

    def check_cursor(self, hot, name):
        """The cursor over the picture is the program's own (hot spot hot),
        drawn as its shape: most of its 32 x 32 square is transparent."""
        def shown():
            h, image = shown_cursor()
            return image if h == hot else None
        image = wait('the %s cursor' % name, shown, 10)
        image.save(os.path.join(self.out, 'cursor_%s.png' % name))
        opaque = sum(1 for p in image.getdata() if p[3])
        if not 20 <= opaque <= 300:
            raise Failed('the %s cursor shows %d opaque pixels of %d' % (name, opaque, image.width * image.height))

    def title_button(self, wid, from_right):
        """A point of the window manager's title bar, from_right pixels left of its right end."""
        x0, y0, w, h = self.rect(wid)
        extents = [int(v) for v in re.findall(r'\d+', run('xprop', '-id', wid, '_NET_FRAME_EXTENTS').split('=')[1])]
        return x0 + w + extents[1] - from_right, y0 - extents[2] // 2

    def windows(self, title):
        r = subprocess.run(['xdotool', 'search', '--onlyvisible', '--name', title], capture_output=True, text=True)
        return [w for w in r.stdout.split()]

    def window(self, title=TITLE, timeout=20.0):
        return wait('a window "%s"' % title, lambda: (self.windows(title) or [None])[0], timeout)

    def rect(self, wid):
        """The window's client area (what the toolkit presents) on screen: x, y, width, height."""
        info = run('xwininfo', '-id', wid)
        get = lambda key: int(re.search(key + r':\s+(-?\d+)', info).group(1))
        return get('Absolute upper-left X'), get('Absolute upper-left Y'), get('Width'), get('Height')

    def outline_pieces(self):
        """The thin windows that show the toolbars' drag outline on the desktop."""
        pieces = []
        for m in subprocess.run(['xdotool', 'search', '--onlyvisible', '--pid', str(self.proc.pid)],
                                capture_output=True, text=True).stdout.split():
            try:
                mx, my, mw, mh = self.rect(m)
            except (subprocess.CalledProcessError, AttributeError):
                continue
            if min(mw, mh) <= 8:
                pieces.append(m)
        return pieces

    def maximised(self, wid):
        state = run('xprop', '-id', wid, '_NET_WM_STATE')
        return '_NET_WM_STATE_MAXIMIZED_VERT' in state and '_NET_WM_STATE_MAXIMIZED_HORZ' in state

    # ---- input, each once its receiver is there ----
    def active(self):
        """The id and title of the window the desktop gives the keyboard to."""
        r = subprocess.run(['xdotool', 'getactivewindow', 'getwindowname'], capture_output=True, text=True)
        lines = r.stdout.splitlines()
        if r.returncode != 0 or not lines:
            return None, ''
        r = subprocess.run(['xdotool', 'getactivewindow'], capture_output=True, text=True)
        return r.stdout.strip(), lines[0]

    def wait_active(self, title=TITLE, timeout=20.0, other_than=()):
        """Waits until a window whose title matches title (a regular
        expression), and is none of other_than, is mapped and has the
        desktop's keyboard; returns its id."""
        def found():
            wid, name = self.active()
            return wid if wid and wid not in other_than and re.search(title, name) else None
        return wait('"%s" to have the keyboard' % title, found, timeout)

    def key(self, *keys, to=TITLE):
        """Keys for the window titled to, once it has the keyboard. Keys that
        open a menu and pick from it go through menu()."""
        self.wait_active(to)
        xdo('key', *keys)

    def type(self, text, to=TITLE):
        self.wait_active(to)
        xdo('type', '--delay', 60, text)

    def click(self, x, y, double=False):
        """A click where the pointer has arrived (the window under it must be
        shown there: wait for it first)."""
        xdo('mousemove', '--sync', x, y)
        if double:
            xdo('click', '--repeat', 2, '--delay', 120, 1)
        else:
            xdo('click', 1)

    def drop_downs(self):
        """The program's drop-down menus now shown: untitled windows (the
        desktop names them after the program) of their size."""
        found = []
        for m in subprocess.run(['xdotool', 'search', '--onlyvisible', '--pid', str(self.proc.pid)],
                                capture_output=True, text=True).stdout.split():
            r = subprocess.run(['xdotool', 'getwindowname', m], capture_output=True, text=True)
            if r.returncode != 0 or r.stdout.strip() not in ('', os.path.basename(self.program)):
                continue
            try:
                mx, my, mw, mh = self.rect(m)
            except (subprocess.CalledProcessError, AttributeError):
                continue  # gone meanwhile
            # As wide as its items, and higher than a hint.
            if 60 < mw < 500 and 30 < mh < 700:
                found.append((mx, my, mw, mh))
        return found

    def wait_menu(self, timeout=20.0):
        """Waits until a drop-down menu is mapped and shows its items (light
        ground, dark letters); returns its rectangle."""
        def showing():
            menus = self.drop_downs()
            if not menus:
                return None
            probe = os.path.join(self.home, 'menu_probe.png')
            run(IMPORT, '-window', 'root', probe)
            screen = Image.open(probe).convert('L')
            for mx, my, mw, mh in menus:
                pixels = list(screen.crop((mx, my, mx + mw, my + mh)).getdata())
                light = sum(1 for v in pixels if v > 180)
                dark = sum(1 for v in pixels if v < 90)
                if light > len(pixels) // 2 and dark >= 15:
                    return (mx, my, mw, mh)
            return None
        return wait('a drop-down menu showing its items', showing, timeout)

    def menu(self, title_key, item_key, to=TITLE):
        """Opens a menu of the window titled to by its Alt key and, once it
        shows its items, picks one by its key."""
        self.key(title_key, to=to)
        self.wait_menu()
        xdo('key', item_key)

    # ---- the program ----
    def start(self, *args):
        self.proc = subprocess.Popen([self.program, *args], env=self.env)
        wid = self.window()
        self.wait_active()
        return wid

    def close(self, wid):
        # File > Exit by its shortcut, as the window has the focus.
        xdo('windowactivate', '--sync', wid)
        self.key('ctrl+x')
        try:
            code = self.proc.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            raise Failed('the program did not end on File > Exit')
        if code != 0:
            raise Failed('the program ended with %d' % code)
        self.proc = None

    def check_edit_menu(self, wid, when):
        """Opens the Edit menu by a click on its title and finds it just under
        that title, where the window is now."""
        x0, y0, w, h = self.rect(wid)
        self.click(x0 + 50, y0 + 9)
        found = self.wait_menu()
        self.shot('edit_menu_' + when)
        self.key('Escape')
        wait('the Edit menu to close', lambda: not self.drop_downs())
        if not (x0 + 20 <= found[0] <= x0 + 60 and y0 + 14 <= found[1] <= y0 + 26):
            raise Failed('the Edit menu opened at %s, not under its title at (%d, %d), %s' %
                         (found[:2], x0 + 35, y0 + 19, when))

    def settings(self):
        path = os.path.join(self.home, 'config', 'quillon', 'quillonpro.cfg')
        values = {}
        with open(path) as f:
            for line in f:
                if '=' in line:
                    k, v = line.rstrip('\n').split('=', 1)
                    values[k.strip()] = v.strip()
        return values

    # ---- what the screen shows ----
    @staticmethod
    def near(colour, want, tolerance=40):
        return all(abs(a - b) <= tolerance for a, b in zip(colour, want))

    def find_image(self, screen, rect):
        """Top-left of the red part of the picture inside the window."""
        x0, y0, w, h = rect
        for y in range(y0, y0 + h):
            for x in range(x0, x0 + w):
                r, g, b = screen.getpixel((x, y))
                if r > 200 and g < 70 and b < 70:
                    return x, y
        raise Failed('the picture is not on the screen')

    def has_image(self, screen, rect):
        try:
            return self.find_image(screen, rect)
        except Failed:
            return None

    def toolbar_edits(self, screen, rect, above):
        """The zoom and colour-count edits: the two long white runs of the toolbar row."""
        x0, y0, w, h = rect

        def runs(y):
            found, start = [], None
            for x in range(x0, x0 + w + 1):
                white = x < x0 + w and screen.getpixel((x, y)) == (255, 255, 255)
                if white and start is None:
                    start = x
                if not white and start is not None:
                    if x - start >= 40:
                        found.append((start, x))
                    start = None
            return found

        for y in range(y0, above):
            if len(runs(y)) >= 2:
                # The first such row is the edits' top edge; their text
                # areas show a few rows lower.
                middle = runs(y + 8)
                if len(middle) >= 2:
                    return middle[0], middle[1], y + 8
        raise Failed('no zoom and colour edits in the toolbar')

    # ---- the walk ----
    def walk(self):
        photo = os.path.join(self.home, 'photo.jpg')
        im = Image.new('RGB', (240, 160), (230, 30, 30))
        d = ImageDraw.Draw(im)
        d.rectangle([120, 0, 239, 159], fill=(30, 30, 230))
        d.rectangle([0, 130, 239, 159], fill=(30, 180, 30))
        d.ellipse([90, 35, 150, 95], fill=(240, 220, 20))
        im.save(photo, quality=95)
        gif = os.path.join(self.home, 'saved.gif')

        # A JPEG named on the command line opens as File > Open does.
        wid = self.start(photo)
        rect = self.rect(wid)
        screen = self.shot_until('the picture to show', lambda s: self.has_image(s, rect), 'opened')
        ox, oy = self.find_image(screen, rect)
        for (dx, dy), want in (((60, 60), (230, 30, 30)), ((180, 60), (30, 30, 230)),
                               ((120, 65), (240, 220, 20)), ((100, 145), (30, 180, 30))):
            if not self.near(screen.getpixel((ox + dx, oy + dy)), want):
                raise Failed('the picture is not shown as it is at (%d, %d)' % (dx, dy))
        zoom, colours, edit_y = self.toolbar_edits(screen, rect, oy)
        apply_x = colours[1] + 26  # the button after the colour panel

        def enter_and_apply(edit, text):
            # The click gives the edit the keyboard before the keys come: the
            # program takes its input in order.
            self.click((edit[0] + edit[1]) // 2, edit_y)
            self.key('ctrl+a')
            self.type(text)
            self.click(apply_x, edit_y - 6)

        # Reduced to 16 colours: typed into the count, then Apply.
        enter_and_apply(colours, '16')

        def reduced(screen):
            shown = screen.crop((ox, oy, ox + 240, oy + 160)).getcolors(100000)
            return shown and len(shown) <= 16
        self.shot_until('the picture to show at most 16 colours', reduced, 'reduced_to_16')

        # 200 %, then the transparent colour picked on the blue half.
        enter_and_apply(zoom, '200')
        self.shot_until('the picture to show at 200 %',
                        lambda s: self.near(s.getpixel((ox + 240, oy + 130)), (240, 220, 20)) and
                        self.near(s.getpixel((ox + 400, oy + 100)), (30, 30, 230)), 'zoom_200')
        self.key('ctrl+t')
        self.click(ox + 401, oy + 101)
        x0, y0, w, h = rect
        # Status panel 3, after the picture's size and the estimate, which
        # are as wide as their longest figures.
        self.shot_until('the status bar to show the picked blue',
                        lambda s: sum(1 for x in range(x0, x0 + w // 2)
                                      if self.near(s.getpixel((x, y0 + h - 9)), (30, 30, 230))) >= 20,
                        'transparent_picked')
        self.check_cursor((7, 7), 'pick')

        # The wheel over the picture scrolls it (two notches, six lines of
        # 8 pixels, as far as the picture goes); the picked picture has the
        # keyboard: Home and End. The yellow disc's top shows where the
        # picture is: 70 rows down at 200 % (its edge is dithered: a few
        # rows either way).
        def disc_top(screen):
            for y in range(oy, oy + 200):
                if self.near(screen.getpixel((ox + 240, y)), (240, 220, 20)):
                    return y - oy
            return None
        scrolled = lambda t: t is not None and t <= 70 - 24 + 4
        unscrolled = lambda t: t is not None and abs(t - 70) <= 4
        for keys, want, name in (((), scrolled, 'wheel_scrolled'), (('Home',), unscrolled, 'home_scrolled'),
                                 (('End',), scrolled, 'end_scrolled'), (('Home',), unscrolled, 'home_again')):
            if keys:
                self.key(*keys)
            else:
                xdo('click', '--repeat', 2, 5)
            self.shot_until('the picture to scroll (%s)' % name, lambda s: want(disc_top(s)), name)

        # Crop mode from the Tools menu, a selection dragged, Apply.
        self.menu('alt+t', 'c')
        bar = self.window('^Cropping Dimensions$')
        bx, by, bw, bh = self.rect(bar)
        top = max(oy + 20, by + bh + 10)
        xdo('mousemove', '--sync', ox + 60, top)
        self.check_cursor((15, 15), 'crop')
        xdo('mousedown', 1)
        for step in range(1, 6):
            xdo('mousemove', '--sync', ox + 60 + 64 * step, top + 28 * step)
        xdo('mouseup', 1)
        self.shot('selection')
        self.click(apply_x, edit_y - 6)
        wait('crop mode to end on Apply', lambda: not self.windows('^Cropping Dimensions$'))
        self.shot('cropped')

        # Save As: the name typed as a person types it.
        self.key('ctrl+s')
        self.wait_active('^Save As$')
        self.shot('save_dialog')
        self.key('ctrl+a', to='^Save As$')
        self.type(gif, to='^Save As$')
        self.key('Return', to='^Save As$')
        wait('the GIF to be written', lambda: os.path.exists(gif) and not self.windows('^Save As$'))
        saved = Image.open(gif)
        if saved.info.get('version') != b'GIF89a' or saved.mode != 'P':
            raise Failed('the saved file is not a GIF89a with a palette')
        used = saved.getcolors(256)
        if not used or len(used) > 16:
            raise Failed('the saved GIF holds more than 16 colours')
        if saved.size[0] >= 480 or saved.size[1] >= 320 or saved.size[0] < 100:
            raise Failed('the saved GIF is %d x %d, not the cropped picture' % saved.size)
        index = saved.info.get('transparency')
        palette = saved.getpalette()
        if index is None or not self.near(palette[3 * index:3 * index + 3], (30, 30, 230)):
            raise Failed('the saved GIF does not keep the picked blue as its transparent colour')

        # Saving again under the same name asks first; No keeps the file.
        self.keep_on_replace(gif, 'alt+n', 'replace_question')
        with open(gif, 'rb') as f:
            first = f.read()

        # Maximised through the window manager (a double click on the title
        # bar), then closed: the state is stored, the normal bounds stay.
        x0, y0, w, h = self.rect(wid)
        self.click(x0 + w // 2, y0 - 8, double=True)
        wait('the window to be maximised', lambda: self.maximised(wid) and self.rect(wid)[2] >= 1270)
        self.shot('maximised')
        self.check_edit_menu(wid, 'maximised')

        # A change not saved: Ctrl+X asks, Cancel (Escape) keeps the window;
        # the window's close button asks again, No ends the program.
        xdo('windowactivate', '--sync', wid)
        box = self.rect(wid)
        box = (box[0], box[1], box[0] + box[2], box[1] + box[3])
        before = self.shot('before_turn').crop(box)
        self.key('alt+1')
        self.shot_until('the picture to be turned',
                        lambda s: ImageChops.difference(s.crop(box), before).getbbox() is not None, 'turned')
        self.key('ctrl+x')
        self.wait_active(BOX)
        self.shot('save_changes_question')
        self.key('Escape', to=BOX)
        self.wait_windows(BOX, 0)
        if self.proc.poll() is not None or not self.windows(TITLE):
            raise Failed('Cancel on "Save changes" did not keep the window')
        self.click(*self.title_button(wid, 10))
        self.key('alt+n', to=BOX)
        try:
            code = self.proc.wait(timeout=20)
        except subprocess.TimeoutExpired:
            raise Failed('No on "Save changes" did not end the program')
        if code != 0:
            raise Failed('the program ended with %d' % code)
        self.proc = None
        with open(gif, 'rb') as f:
            if f.read() != first:
                raise Failed('No on "Save changes" wrote the file')
        stored = self.settings()
        if stored.get('WindowState') != '2':
            raise Failed('closing maximised stored WindowState %s' % stored.get('WindowState'))
        if int(stored.get('width', '0')) >= 1270:
            raise Failed('closing maximised stored the maximised width')

        # Started again: maximised at once; restored to its normal bounds.
        wid = self.start()
        wait('the window to come back maximised', lambda: self.maximised(wid) and self.rect(wid)[2] >= 1270)
        self.shot('started_maximised')
        x0, y0, w, h = self.rect(wid)
        self.click(x0 + w // 2, y0 - 8, double=True)
        wait('the window to be restored', lambda: not self.maximised(wid) and self.rect(wid)[2] < 1000)
        self.check_edit_menu(wid, 'restored')
        screen = self.settled('restored', (0, 0, 1280, 1024))
        x0, y0, w, h = self.rect(wid)

        # Dragging the toolbar: the outline leaves the rest of the screen as
        # it is (no compositor here).
        grip_y = y0 + 40
        xdo('mousemove', '--sync', x0 + 5, grip_y)
        xdo('mousedown', 1)
        for step in range(1, 5):
            xdo('mousemove', '--sync', x0 + 5 + 40 * step, grip_y + 45 * step)
        wait('the drag outline to show', self.outline_pieces)
        during = self.shot('toolbar_drag_outline')
        xdo('mousemove', '--sync', x0 + 5, grip_y)
        xdo('mouseup', 1)
        wait('the drag outline to go', lambda: not self.outline_pieces())
        for px, py in ((x0 + w - 20, y0 + h - 40), (x0 + 30, y0 + 8), (x0 + w + 30, y0 + 30)):
            if during.getpixel((px, py)) != screen.getpixel((px, py)):
                raise Failed('the drag outline changed the screen away from it at (%d, %d)' % (px, py))
        self.shot('after_drag')

        # F1 on a desktop without a program for web pages: a message gives
        # the help page's path.
        xdo('windowactivate', '--sync', wid)
        self.key('F1')
        self.wait_active(BOX)
        self.shot('help_not_shown')
        self.key('Return', to=BOX)
        self.wait_windows(BOX, 0)

        self.scan(wid)
        self.close(wid)
        stored = self.settings()
        if stored.get('WindowState') != '0' or int(stored.get('width', '0')) >= 1270:
            raise Failed('closing the restored window stored %s' % stored)
        self.zoomed_copy_save_and_long_apply()
        self.keyboard()

    def zoomed_copy_save_and_long_apply(self):
        """A large photograph at a zoom: at zoom 800 Apply is long: the busy
        cursor and a progress window show, and Escape or the window's close
        button cancel it, leaving the window as it was; Copy leaves the
        picture and its zoom as they are; with dithering off, the size shown
        is the saved file's (the window, showing the file loaded back, reads
        the same) and the file is not dithered."""
        photo = os.path.join(self.home, 'large.jpg')
        size = (1600, 1200)
        Image.merge('RGB', (Image.linear_gradient('L').resize(size), Image.linear_gradient('L').rotate(90).resize(size),
                            Image.radial_gradient('L').resize(size))).save(photo, quality=95)
        wid = self.start(photo)
        rect = self.rect(wid)
        x0, y0, w, h = rect

        def painted(s):
            try:
                self.toolbar_edits(s, rect, y0 + 80)
                self.status_panels(s, rect)
                return True
            except Failed:
                return False
        screen = self.shot_until('the window to show its toolbar and status bar', painted, 'large_opened')
        zoom, colours, edit_y = self.toolbar_edits(screen, rect, y0 + 80)
        apply_x = colours[1] + 26
        panels = self.status_panels(screen, rect)
        # The window but for the mouse position and the file name.
        still = (x0, y0, panels[4][0], y0 + h)

        def settled(name):
            return self.settled(name, still)

        def zoom_to(text, apply=True):
            self.click((zoom[0] + zoom[1]) // 2, edit_y)
            self.key('ctrl+a')
            self.type(text)
            if apply:
                self.click(apply_x, edit_y - 6)

        # Zoom 800 (a picture of 123 million pixels): Apply shows the busy
        # cursor and the progress window; Escape, then the close button,
        # cancel it and the window is as it was.
        zoom_to('800', apply=False)
        before = settled('zoom_800_pending')
        for cancel in ('escape', 'close'):
            xdo('mousemove', apply_x, edit_y - 6)
            look = lambda: (lambda c: (c[0], c[1].size, c[1].tobytes()))(shown_cursor())
            idle = look()
            xdo('click', 1)
            busy = self.window('^Please Wait$', timeout=30)
            wait('the busy cursor', lambda: look() != idle, 10)
            self.shot('long_apply_' + cancel)
            if cancel == 'escape':
                self.key('Escape', to='^Please Wait$')
            else:
                xdo('mousemove', *self.title_button(busy, 10))
                xdo('click', 1)
            self.wait_windows('^Please Wait$', 0, timeout=30)
            if ImageChops.difference(settled('cancelled_by_' + cancel), before).getbbox() is not None:
                raise Failed('the window changed with a long Apply cancelled by ' + cancel)

        # Copy at 50 %: the picture, its zoom and the status bar stay as
        # shown (Paste comes on).
        zoom_to('50')
        below = (0, edit_y + 25 - y0, still[2] - x0, h)
        spin = (zoom[0] - x0, edit_y - 8 - y0, zoom[1] - x0, edit_y + 8 - y0)
        before = settled('zoom_50')
        self.key('ctrl+c')
        after = settled('copied_at_50')
        for part in (below, spin):
            if ImageChops.difference(after.crop(part), before.crop(part)).getbbox() is not None:
                raise Failed('Copy at zoom 50 changed the picture or its zoom')

        # Dithering off: the size shown is the one the saved file has.
        self.key('ctrl+d')
        panel = (panels[2][0] - x0, panels[2][1] - y0, panels[2][2] - x0, panels[2][3] - y0)
        estimate = settled('undithered').crop(panel)
        gif = os.path.join(self.home, 'half.gif')
        self.save_as(gif)
        wait('the GIF to be written', lambda: os.path.exists(gif) and not self.windows('^Save As$'))
        if ImageChops.difference(settled('saved_half').crop(panel), estimate).getbbox() is not None:
            raise Failed('the size shown before saving is not the saved file\'s')
        saved = Image.open(gif)
        if saved.size != (800, 600):
            raise Failed('the GIF saved at zoom 50 is %d x %d' % saved.size)
        pixels = saved.load()
        alike = sum(1 for y in range(0, 600, 3) for x in range(799) if pixels[x, y] == pixels[x + 1, y])
        if alike < 0.6 * 200 * 799:
            raise Failed('the GIF saved with dithering off is dithered (%d of %d neighbours alike)' % (alike, 200 * 799))
        self.close(wid)

    @staticmethod
    def status_panels(screen, rect):
        """The status bar's six panels on the screen (left, top, right,
        bottom), found by the dark grey left edges of their sunken frames:
        below the text, a row where exactly six such pixels stand alone."""
        x0, y0, w, h = rect
        grey = (128, 128, 128)
        for y in range(y0 + h - 2, y0 + h - 30, -1):
            starts = [x + 1 for x in range(x0, x0 + w - 1) if screen.getpixel((x, y)) == grey and
                      screen.getpixel((x - 1, y)) != grey and screen.getpixel((x + 1, y)) != grey]
            if len(starts) == 6:
                return [(a, y0 + h - 20, b - 2, y) for a, b in zip(starts, starts[1:] + [x0 + w])]
        raise Failed('no status bar panels')

    def scan(self, wid):
        """Scans once as a person does: Twain > Select Source, whose Select
        button comes alive once SANE's test scanner is listed; Acquire shows
        the scanner's settings step, where Scan scans. A scan is untitled:
        Save proposes "Untitled" in the folder last used (the photograph's),
        not the scanner's temporary file."""
        if not self.scanner():
            return
        try:
            self.scan_steps(wid)
        except Failed:
            self.backtraces()
            raise

    def scan_steps(self, wid):
        xdo('windowactivate', '--sync', wid)
        self.menu('alt+w', 's')
        select = self.window('^Select Source$')

        def select_alive(screen):
            x0, y0, w, h = self.rect(select)
            button = screen.crop((x0 + 192, y0 + 88, x0 + 252, y0 + 105))  # the caption of Select
            return sum(1 for p in button.getdata() if max(p) < 60) > 10
        self.shot_until('the scanner to be listed', select_alive, 'select_source')
        self.key('Return', to='^Select Source$')
        self.wait_windows('^Select Source$', 0)
        self.menu('alt+w', 'a')
        self.wait_active('^Scan$')
        self.shot('scan_settings')
        self.key('Return', to='^Scan$')
        self.shot_until('the scan to show', lambda s: self.red_count(s, self.rect(wid)) > 500, 'scanned')
        self.key('ctrl+s')
        self.wait_active('^Save As$')
        self.shot('scan_save_dialog')
        self.key('Return', to='^Save As$')
        untitled = os.path.join(self.home, 'Untitled.gif')
        wait('the scan to be saved as ' + untitled,
             lambda: os.path.exists(untitled) and not self.windows('^Save As$'))
        # Only the settings (the program's and the scanner's) and their lock
        # files: the scan went elsewhere.
        left = sorted(os.listdir(os.path.join(self.home, 'config', 'quillon')))
        if left != ['quillonpro.cfg', 'quillonpro.cfg.lock', 'scanner.cfg', 'scanner.cfg.lock']:
            raise Failed('the configuration folder holds %s' % left)

    def backtraces(self):
        """The backtraces of the program and of the scanning program it started
        (a third-party driver may hang there), through gdb where it is installed."""
        if not self.proc or not shutil.which('gdb'):
            return
        pid = str(self.proc.pid)
        children = subprocess.run(['pgrep', '-P', pid], capture_output=True, text=True).stdout.split()
        for p in [pid] + children:
            print('---- process %s' % p)
            subprocess.run(['gdb', '-q', '-batch', '-nx', '-p', p, '-ex', 'thread apply all bt'],
                           stdin=subprocess.DEVNULL, timeout=120)

    def keyboard(self):
        """The keyboard alone: Enter in the Colors and Zoom boxes applies,
        Escape leaves crop mode and cancels "Preparing Images...", About
        closes with Enter and Escape, the tips with Escape, and Enter at the
        replace question keeps the file."""
        big = os.path.join(self.home, 'noise.png')
        Image.merge('RGB', [Image.effect_noise((2400, 1600), 90) for _ in range(3)]).save(big)
        wid = self.start(big)
        rect = self.rect(wid)
        x0, y0, w, h = rect
        area = (x0 + 40, y0 + 140, x0 + w - 40, y0 + h - 40)  # the picture, under the toolbar

        def colours(screen):
            return len(screen.crop(area).getcolors(1 << 20) or range(1 << 20))
        screen = self.shot_until('the picture to show', lambda s: colours(s) > 100, 'keys_opened')
        zoom, count, edit_y = self.toolbar_edits(screen, rect, y0 + 120)

        def type_into(edit, text):
            self.click((edit[0] + edit[1]) // 2, edit_y)
            self.key('ctrl+a')
            self.type(text)
            self.key('Return')
        type_into(count, '8')
        self.shot_until('Enter in Colors to apply 8 colours', lambda s: colours(s) <= 8, 'keys_colours_applied')
        type_into(zoom, '10')
        # At 10 % the picture is 240 x 160: the work area shows around it.
        self.shot_until('Enter in Zoom to apply 10 %',
                        lambda s: sum(1 for p in s.crop(area).getdata() if p == (128, 128, 128)) > 20000,
                        'keys_zoom_applied')

        xdo('windowactivate', '--sync', wid)
        self.menu('alt+t', 'c')
        # The crop bar floats without taking the keyboard.
        self.wait_windows('^Cropping Dimensions$', 1)
        self.key('Escape')
        self.wait_windows('^Cropping Dimensions$', 0)

        # Preparing eight reductions of 3.8 million pixels takes a while:
        # Escape stops it, and no preview follows.
        self.key('ctrl+p')
        self.key('Escape', to=r'^Preparing Images\.\.\.$')
        self.wait_windows(r'^Preparing Images\.\.\.$', 0, 60)
        if self.windows('^Preview Color Reduction$'):
            raise Failed('Escape did not cancel "Preparing Images..."')

        for key in ('Return', 'Escape'):
            # Help > About (Alt+H is Flip Horizontal): the Help title clicked.
            self.wait_active()
            self.click(x0 + 298, y0 + 9)
            self.wait_menu()
            xdo('key', 'a')
            self.key(key, to='^About$')
            self.wait_windows('^About$', 0)
        xdo('windowactivate', '--sync', wid)
        self.key('F2')
        self.key('Escape', to='^Quillon Pro - Tips$')
        self.wait_windows('^Quillon Pro - Tips$', 0)

        # Saved once; saved again under the same name, Enter at the question
        # (its default button is No) keeps the file.
        keys = os.path.join(self.home, 'keys.gif')
        xdo('windowactivate', '--sync', wid)
        self.save_as(keys)
        wait('keys.gif to be written', lambda: os.path.exists(keys) and not self.windows('^Save As$'))
        xdo('windowactivate', '--sync', wid)
        self.keep_on_replace(keys, 'Return', 'keys_replace_question')
        self.close(wid)

    def save_as(self, path):
        """Ctrl+S, then the path typed into Save As and Enter; returns the
        dialog's id."""
        self.key('ctrl+s')
        dialog = self.wait_active('^Save As$')
        self.key('ctrl+a', to='^Save As$')
        self.type(path, to='^Save As$')
        self.key('Return', to='^Save As$')
        return dialog

    def keep_on_replace(self, path, answer, name):
        """Saves again under path, answers the replace question with the key
        answer, which must keep the file and the dialog; Escape then closes
        the dialog."""
        with open(path, 'rb') as f:
            first = f.read()
        dialog = self.save_as(path)
        self.wait_windows('^Save As$', 2)
        self.wait_active('^Save As$', other_than=(dialog,))
        self.shot(name)
        xdo('key', answer)
        self.wait_windows('^Save As$', 1)
        self.key('Escape', to='^Save As$')
        self.wait_windows('^Save As$', 0)
        with open(path, 'rb') as f:
            if f.read() != first:
                raise Failed('%s at the replace question replaced %s' % (answer, path))

    def scanner(self):
        """Whether the source manager beside the program scans through SANE (its scanning program is there)."""
        folder = os.path.dirname(os.path.realpath(self.program))
        return os.access(os.path.join(folder, 'twain_sane'), os.X_OK)

    @staticmethod
    def red_count(screen, rect):
        """Pixels of the window that are clearly red (the scanner's test pattern has red stripes)."""
        x0, y0, w, h = rect
        return sum(1 for r, g, b in screen.crop((x0, y0, x0 + w, y0 + h)).getdata() if r > 180 and g < 70 and b < 70)

    def cleanup(self):
        if self.proc:
            self.proc.kill()
            self.proc.wait()
        shutil.rmtree(self.home, ignore_errors=True)


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    for tool in ('xdotool', 'xwininfo', 'xprop'):
        if not shutil.which(tool):
            print(tool + ' not found: skipped')
            return 77
    if not os.path.exists(IMPORT):
        print(IMPORT + ' not found: skipped')
        return 77
    os.makedirs(sys.argv[2], exist_ok=True)
    walk = Walkthrough(sys.argv[1], sys.argv[2])
    try:
        walk.walk()
    except Failed as e:
        walk.shot('failed')
        print('FAILED: %s (screenshots in %s)' % (e, sys.argv[2]))
        return 1
    finally:
        walk.cleanup()
    print('walked through; screenshots in ' + sys.argv[2])
    return 0


if __name__ == '__main__':
    sys.exit(main())
