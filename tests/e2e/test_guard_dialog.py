"""The private-message guard's question in a real HexChat: a stranger's first private
message opens the dialog; the first button lets the sender through for the session;
a question nobody answers times out, the stranger is refused and told so.

A picture of the open question is saved in the test's output folder (QUIBO_E2E_OUTPUT,
else output/guard_dialog under the folder the test runs in)."""

import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop  # noqa: E402
import harness as h  # noqa: E402

ARGS = None

LOADED_LINE = "QuIbOsCrIpT XChat2 module loaded."


def output_folder():
    folder = os.environ.get("QUIBO_E2E_OUTPUT") or os.path.join(os.getcwd(), "output", "guard_dialog")
    os.makedirs(folder, exist_ok=True)
    return folder


def question_windows(screen):
    """The visible windows of the client that are not its main window: the question
    dialog has no title, the main window's title ends with "HexChat"."""
    found = screen._run(["xdotool", "search", "--onlyvisible", "--class", "hexchat"], check=False)
    windows = [screen.window(int(w)) for w in found.stdout.split()]
    return [w for w in windows if "HexChat" not in w.title and w.width > 50 and w.height > 50]


def wait_question(screen, timeout=15):
    return h.wait_for(lambda: (question_windows(screen) or [None])[0], timeout, interval=0.2,
                      what="the guard's question dialog")


def wait_no_question(screen, timeout=20):
    h.wait_for(lambda: not question_windows(screen), timeout, interval=0.2, what="the question to close")


class GuardDialogInHexChat(unittest.TestCase):
    def test_question_allow_by_click_and_refusal_by_time_out(self):
        picture = os.path.join(output_folder(), "question.png")
        with h.session(plugin=ARGS.plugin, data_dir=ARGS.data) as s:
            hc = s.hexchat
            h.wait_for(lambda: LOADED_LINE in hc.log_text(), 15, what="the 'loaded' line in the client")
            s.wait_joined()
            screen = desktop.Desktop(s.display)
            killer_log = os.path.join(hc.data_dir, "private_killer.log")

            # Long enough for the click below, whatever the machine's load.
            hc.command("QUIBO pktime 60")
            bob = s.peer("bob", host="127.0.0.2")
            bob.privmsg(h.NICK, "first words from bob")
            dialog = wait_question(screen)
            self.assertEqual(len(question_windows(screen)), 1, question_windows(screen))
            buttons = screen.buttons(dialog)
            self.assertEqual(len(buttons), 4, buttons)
            subprocess.run(["import", "-window", str(dialog.id), picture], env=screen.env, check=True,
                           timeout=20, stdin=subprocess.DEVNULL)
            self.assertGreater(os.path.getsize(picture), 0)

            # The first button: accepted for this session. The waiting message goes through,
            # and so does the next one, without a question.
            screen.click_button(dialog, 0)
            wait_no_question(screen)
            h.wait_for(lambda: "<bob>\tfirst words from bob" in hc.log_text(), 10,
                       what="bob's first message in HexChat")
            bob.privmsg(h.NICK, "more words from bob")
            h.wait_for(lambda: "<bob>\tmore words from bob" in hc.log_text(), 10,
                       what="bob's second message in HexChat")
            self.assertEqual(question_windows(screen), [])
            self.assertFalse(any("NOTICE bob :" in line for line in bob.lines))

            # Nobody answers carl's question: it closes by itself, carl is refused and told so.
            hc.command("QUIBO pktime 3")
            carl = s.peer("carl", host="127.0.0.3")
            carl.privmsg(h.NICK, "hello from carl")
            wait_question(screen)
            carl.wait_line(lambda l: "NOTICE carl :carl, " in l, 20, what="the refusal notice")
            wait_no_question(screen)
            h.wait_for(lambda: "hello from carl" in h.read_text(killer_log), 10,
                       what="the refusal in private_killer.log")
            self.assertNotIn("<carl>\thello from carl", hc.log_text())
            self.assertNotIn("first words from bob", h.read_text(killer_log))

            # Refused for the session: carl's next message is dropped without a new question.
            carl.privmsg(h.NICK, "hello again from carl")
            bob.privmsg(h.NICK, "last words from bob")
            h.wait_for(lambda: "<bob>\tlast words from bob" in hc.log_text(), 10, what="bob's last message")
            self.assertEqual(question_windows(screen), [])
            self.assertNotIn("hello again from carl", hc.log_text())


if __name__ == "__main__":
    ARGS, rest = h.parse_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
