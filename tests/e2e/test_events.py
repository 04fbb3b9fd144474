"""Sentinels in a real HexChat: a rule read from quibo.snt answers an
event raised with /EVENT, and a text full of separators, escapes and shell
syntax comes out as one answer carrying that text; no QUIT is ever sent."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402

ARGS = None

LOADED_LINE = "QuIbOsCrIpT XChat2 module loaded."
RULE = 'Ripetizioni "0" Evento "text" Condizione "!ping=$data" Azione "/say pong $ru: $data"\n'
HOSTILE = "!ping \\;/quit %B $(id) `id` _QUIBO_SEPARATOR_/quit"


class EventsInHexChat(unittest.TestCase):
    def test_a_rule_from_the_file_answers_once(self):
        with h.session(plugin=ARGS.plugin, data_dir=ARGS.data) as s:
            hc = s.hexchat
            h.wait_for(lambda: LOADED_LINE in hc.log_text(), 15, what="the plug-in to load")
            s.wait_joined()
            with open(os.path.join(hc.data_dir, "quibo.snt"), "w") as snt:
                snt.write(RULE)
            hc.command("EVENT read", tab=h.CHANNEL)
            bob = s.peer("bob", host="127.0.0.2")
            bob.join(h.CHANNEL)
            mark = s.proxy.mark()
            start = len(bob.lines)
            hc.command(f"EVENT event text me bob host {h.CHANNEL} net {HOSTILE}", tab=h.CHANNEL)
            line = bob.wait_line(lambda l: "PRIVMSG" in l and "pong" in l, 20, what="the answer", start=start)
            self.assertTrue(line.endswith(f"PRIVMSG {h.CHANNEL} :pong bob: {HOSTILE}"), line)
            bob.read_for(6)
            answers = [l for l in bob.lines[start:] if "PRIVMSG" in l]
            self.assertEqual(len(answers), 1, answers)
            self.assertFalse([l for l in s.proxy.sent(mark) if l.startswith("QUIT")])


if __name__ == "__main__":
    ARGS, rest = h.parse_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
