"""Windows on the test's X display: find a dialog by its title and click one of its buttons.

GTK 2 draws buttons inside the dialog's one X window, so xdotool cannot name them. The
dialog is photographed (ImageMagick's `import`) and its buttons are found as the
rectangles the theme frames with a dark bottom and right edge; xdotool then moves the
pointer to the middle of the chosen one and clicks, as a user would. The display has no
window manager, so a window's geometry is its place on the screen.
"""

import os
import subprocess
import time

# A pixel belongs to a frame when its red + green + blue is below this.
DARK = 200
# Frames shorter or narrower than this are glyphs, icons or separators, not buttons.
MIN_BUTTON_WIDTH = 16
MIN_BUTTON_HEIGHT = 12


class Window:
    def __init__(self, wid, title, x, y, width, height):
        self.id, self.title = wid, title
        self.x, self.y, self.width, self.height = x, y, width, height

    def __repr__(self):
        return f"Window({self.id}, {self.title!r}, {self.width}x{self.height}+{self.x}+{self.y})"


class Image:
    """An RGB picture read from a binary PPM (P6, 8 bits)."""

    def __init__(self, width, height, pixels):
        self.width, self.height, self.pixels = width, height, pixels

    @classmethod
    def from_ppm(cls, data):
        fields, pos = [], 0
        while len(fields) < 4:
            while data[pos:pos + 1].isspace():
                pos += 1
            if data[pos:pos + 1] == b"#":
                pos = data.index(b"\n", pos)
                continue
            end = pos
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[pos:end])
            pos = end
        if fields[0] != b"P6" or int(fields[3]) != 255:
            raise ValueError("not an 8-bit binary PPM")
        width, height = int(fields[1]), int(fields[2])
        return cls(width, height, data[pos + 1:pos + 1 + width * height * 3])

    def dark(self, x, y):
        i = (y * self.width + x) * 3
        return self.pixels[i] + self.pixels[i + 1] + self.pixels[i + 2] < DARK


def _dark_runs(image, y):
    """(x0, x1) of each run of dark pixels in row y at least MIN_BUTTON_WIDTH long."""
    runs, x = [], 0
    while x < image.width:
        if image.dark(x, y):
            start = x
            while x < image.width and image.dark(x, y):
                x += 1
            if x - start >= MIN_BUTTON_WIDTH:
                runs.append((start, x - 1))
        else:
            x += 1
    return runs


def find_buttons(image):
    """Button rectangles (x, y, width, height) in the image, top to bottom, left to right.

    A button is a dark bottom edge (the lowest row of a long dark run) whose right end
    continues upwards as a dark right edge."""
    buttons = []
    for y in range(image.height):
        for x0, x1 in _dark_runs(image, y):
            if y + 1 < image.height and image.dark(x0, y + 1) and image.dark(x1, y + 1):
                continue  # not the lowest row of this edge
            top = y
            while top > 0 and image.dark(x1, top - 1):
                top -= 1
            whole = x1 - x0 + 2 >= image.width and y - top + 2 >= image.height  # an unpainted window
            if y - top + 1 >= MIN_BUTTON_HEIGHT and not whole:
                buttons.append((x0, top, x1 - x0 + 1, y - top + 1))
    return sorted(buttons, key=lambda b: (b[1], b[0]))


class Desktop:
    """The X display `display` (":N"), driven with xdotool."""

    def __init__(self, display):
        self.env = {"DISPLAY": display, "PATH": os.environ.get("PATH", "/usr/bin:/bin")}

    def _run(self, argv, timeout=10, check=True):
        result = subprocess.run(argv, env=self.env, capture_output=True, timeout=timeout,
                                stdin=subprocess.DEVNULL)
        if check and result.returncode != 0:
            raise RuntimeError(f"{argv[0]} failed ({result.returncode}): {result.stderr.decode(errors='replace')}")
        return result

    def windows(self, title):
        """Visible windows whose title matches the regular expression `title`."""
        result = self._run(["xdotool", "search", "--onlyvisible", "--name", title], check=False)
        return [self.window(int(w)) for w in result.stdout.split()]

    def window(self, wid):
        shell = self._run(["xdotool", "getwindowgeometry", "--shell", str(wid)]).stdout.decode()
        values = dict(line.split("=", 1) for line in shell.split())
        name = self._run(["xdotool", "getwindowname", str(wid)], check=False).stdout.decode().strip()
        return Window(wid, name, int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"]))

    def wait_window(self, title, timeout=10):
        """The one visible window titled `title` (a regular expression), once it is shown."""
        deadline = time.monotonic() + timeout
        while True:
            found = self.windows(title)
            if len(found) > 1:
                raise RuntimeError(f"{len(found)} windows match {title!r}: {found}")
            if found:
                return found[0]
            if time.monotonic() >= deadline:
                raise TimeoutError(f"timed out after {timeout:g} s waiting for a window {title!r}")
            time.sleep(0.1)

    def wait_gone(self, window, timeout=10):
        deadline = time.monotonic() + timeout
        while any(w.id == window.id for w in self.windows(".")):
            if time.monotonic() >= deadline:
                raise TimeoutError(f"timed out after {timeout:g} s waiting for {window} to close")
            time.sleep(0.1)

    def snapshot(self, window):
        """The window's picture as an Image."""
        return Image.from_ppm(self._run(["import", "-window", str(window.id), "-depth", "8", "ppm:-"], timeout=20).stdout)

    def buttons(self, window, timeout=5):
        """The window's buttons (see find_buttons), once two pictures in a row agree."""
        deadline = time.monotonic() + timeout
        previous = None
        while True:
            found = find_buttons(self.snapshot(window))
            if (found and found == previous) or time.monotonic() >= deadline:
                return found
            previous = found
            time.sleep(0.05)

    def click(self, window, x, y):
        """Click the left mouse button at (x, y) inside the window."""
        self._run(["xdotool", "mousemove", "--sync", str(window.x + x), str(window.y + y), "click", "1"])

    def click_button(self, window, index):
        """Click button number `index` of the window (as in a list: 0 is the first, top-left;
        -1 the last, bottom-right) and return its rectangle."""
        found = self.buttons(window)
        if not found:
            raise RuntimeError(f"no buttons found in {window}")
        x, y, w, h = found[index]
        self.click(window, x + w // 2, y + h // 2)
        return found[index]

    def key(self, window, keys):
        """Give the window the keyboard focus and press keys (xdotool names: "Return", "alt+y")."""
        self._run(["xdotool", "windowfocus", "--sync", str(window.id), "key", "--clearmodifiers", keys])
