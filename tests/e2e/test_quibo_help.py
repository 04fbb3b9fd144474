"""/QUIBO help typed in a real HexChat: the help on a setting reaches the client's window."""

import os
import re
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402

ARGS = None

LOADED_LINE = "QuIbOsCrIpT XChat2 module loaded."


def language_message(data_dir, number):
    """Message `number` of the Italian file, escapes decoded and formatting removed."""
    with open(os.path.join(data_dir, "quibo_italiano.msg"), encoding="utf-8") as f:
        for line in f:
            match = re.match(r'// (\d{4}) "(.*)"\s*$', line)
            if match and int(match.group(1)) == number:
                text = match.group(2).encode("latin-1", "backslashreplace").decode("unicode_escape")
                return h.strip_formatting(text)
    raise KeyError(number)


class HelpInHexChat(unittest.TestCase):
    def test_help_on_a_setting(self):
        heading = language_message(ARGS.data, 485).replace("%s", "clonecount").strip()
        description = language_message(ARGS.data, 321).strip()
        expected = [heading, "/quibo clonecount [#]", "iMaxCloneCount = 10 default:[10]", description]
        with h.session(plugin=ARGS.plugin, data_dir=ARGS.data) as s:
            hc = s.hexchat
            h.wait_for(lambda: LOADED_LINE in hc.log_text(), 15, what="the plug-in to load")
            s.wait_joined()
            hc.command("QUIBO help clonecount")

            def shown():
                lines = hc.log_lines()
                found = [next((i for i, line in enumerate(lines) if text in line), None) for text in expected]
                return None if None in found else found
            at = h.wait_for(shown, 10, what="the clonecount help in HexChat's log")
            self.assertEqual(at, sorted(at), "help lines out of order")
            self.assertFalse(any("Unknown QuIbOsCrIpT command" in line for line in hc.log_lines()))


if __name__ == "__main__":
    ARGS, rest = h.parse_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
