#!/usr/bin/env python3
"""Drives the real paste window on a private Xvfb display with xdotool.

usage: pastewindow_gui.py <pastewindow> <artifacts folder>
"""
import os
import select
import shutil
import subprocess
import sys
import unittest

TITLE = "Paste the text in the below area and click PASTE !"
WAIT = 15  # seconds allowed for any one step
SKIPPED = 77

PROGRAM = ""
ARTIFACTS = ""


def start_xvfb():
    """Starts Xvfb on a display it picks itself; returns (process, ":N")."""
    reader, writer = os.pipe()
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(writer), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
        pass_fds=[writer], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(writer)
    # Xvfb may write the number and its newline separately, and dies if the
    # pipe is closed before the newline.
    number = b""
    while not number.endswith(b"\n") and select.select([reader], [], [], WAIT)[0]:
        got = os.read(reader, 16)
        if not got:
            break
        number += got
    os.close(reader)
    number = number.decode().strip()
    if not number:
        xvfb.kill()
        xvfb.wait()
        raise RuntimeError("Xvfb did not report its display")
    return xvfb, ":" + number


class PasteWindow(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.xvfb, display = start_xvfb()
        cls.env = dict(os.environ, DISPLAY=display, NO_AT_BRIDGE="1")

    @classmethod
    def tearDownClass(cls):
        cls.xvfb.terminate()
        cls.xvfb.wait(WAIT)

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env=self.env, check=True, timeout=WAIT,
                              stdout=subprocess.PIPE, text=True).stdout

    def open_window(self, *args):
        """Starts the program and returns it with the id of its window."""
        program = subprocess.Popen([PROGRAM, *args], env=self.env, stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: program.poll() is None and program.kill())
        found = self.xdotool("search", "--sync", "--onlyvisible", "--name", "^" + TITLE + "$")
        return program, found.split()[0]

    def finish(self, program):
        out, _ = program.communicate(timeout=WAIT)
        return out, program.returncode

    def test_paste_writes_the_typed_lines_without_a_final_newline(self):
        program, window = self.open_window()
        self.xdotool("windowfocus", "--sync", window)
        self.xdotool("mousemove", "--window", window, "400", "300", "click", "1")
        self.xdotool("type", "line one")
        self.xdotool("key", "Return")
        self.xdotool("type", "line two")
        os.makedirs(ARTIFACTS, exist_ok=True)
        subprocess.run(["import", "-window", "root", "-display", self.env["DISPLAY"],
                        os.path.join(ARTIFACTS, "pastewindow.png")], check=True, timeout=WAIT)
        self.xdotool("mousemove", "--window", window, "400", "10", "click", "1")
        self.assertEqual(self.finish(program), (b"line one\nline two", 0))

    def test_closing_the_window_ends_with_no_output(self):
        program, window = self.open_window("t")
        self.xdotool("windowclose", window)
        self.assertEqual(self.finish(program), (b"", 0))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    if not (shutil.which("Xvfb") and shutil.which("xdotool") and shutil.which("import")):
        print("Xvfb, xdotool or ImageMagick's import is missing")
        sys.exit(SKIPPED)
    PROGRAM, ARTIFACTS = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
