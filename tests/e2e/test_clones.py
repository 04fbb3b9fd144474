"""Clone detection in a real HexChat: three peers connected from one loopback
address join the channel one after the other; the plug-in reports them as
clones of each other in the window the user looks at."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402

ARGS = None

LOADED_LINE = "QuIbOsCrIpT XChat2 module loaded."


def clone_lines(text, first, second):
    return [l for l in text.splitlines() if "Clone:" in l and first in l and second in l]


class ClonesInHexChat(unittest.TestCase):
    def test_three_peers_from_one_address_are_clones(self):
        with h.session(plugin=ARGS.plugin, data_dir=ARGS.data) as s:
            hc = s.hexchat
            h.wait_for(lambda: LOADED_LINE in hc.log_text(), 15, what="the plug-in to load")
            s.wait_joined()
            nicks = ["ann", "bea", "cid"]
            for nick in nicks:
                s.peer(nick, host="127.0.0.3").join(h.CHANNEL)
            h.wait_for(lambda: clone_lines(hc.log_text(), "cid", "ann") and clone_lines(hc.log_text(), "bea", "ann"),
                       20, what="the clone reports")
            text = hc.log_text()
            self.assertEqual(len(clone_lines(text, "bea", "ann")), 1, text)
            self.assertEqual(len(clone_lines(text, "cid", "bea")), 1, text)
            self.assertEqual(len(clone_lines(text, "cid", "ann")), 1, text)


if __name__ == "__main__":
    ARGS, rest = h.parse_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
