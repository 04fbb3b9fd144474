"""The command queue in a real HexChat: ten queued /say lines with flood control on
reach another user three at a time, about five seconds apart, on HexChat's /TIMER.
Then the plug-in types into HexChat's input box and presses Enter."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402

ARGS = None

LOADED_LINE = "QuIbOsCrIpT XChat2 module loaded."
LINES = 10
QUEUED = f"PRIVMSG {h.CHANNEL} :queued line "


def batches(lines, gap=2.0):
    """Proxy lines split wherever more than `gap` seconds pass between two."""
    groups = []
    for line in lines:
        if groups and line.monotonic - groups[-1][-1].monotonic <= gap:
            groups[-1].append(line)
        else:
            groups.append([line])
    return groups


class QueueInHexChat(unittest.TestCase):
    def test_flood_controlled_batches_and_the_input_box(self):
        with h.session(plugin=ARGS.plugin, data_dir=ARGS.data) as s:
            hc = s.hexchat
            h.wait_for(lambda: LOADED_LINE in hc.log_text(), 15, what="the plug-in to load")
            s.wait_joined()
            bob = s.peer("bob", host="127.0.0.2")
            bob.join(h.CHANNEL)

            hc.command("QUIBO textfloodout 1", tab=h.CHANNEL)
            for n in range(1, LINES + 1):
                hc.command(f"QUIBO InsertCommandInQueue(0) /say queued line {n}", tab=h.CHANNEL)
            mark = s.proxy.mark()
            hc.command("QUIBO ExecCommandInQueue(0)", tab=h.CHANNEL)

            bob.wait_line(lambda l: l.endswith(f"{QUEUED}{LINES}"), 40, what="the last queued line")
            heard = [l.split(" :", 1)[1] for l in bob.lines if QUEUED in l]
            self.assertEqual(heard, [f"queued line {n}" for n in range(1, LINES + 1)])

            sent = [l for l in s.proxy.lines(h.SENT, mark) if l.text.startswith(QUEUED)]
            self.assertEqual([l.text for l in sent], [f"{QUEUED}{n}" for n in range(1, LINES + 1)])
            groups = batches(sent)
            self.assertEqual([len(g) for g in groups], [3, 3, 3, 1], [[str(l) for l in g] for g in groups])
            starts = [g[0].monotonic for g in groups]
            for earlier, later in zip(starts, starts[1:]):
                self.assertGreaterEqual(later - earlier, 4.0, starts)
                self.assertLessEqual(later - earlier, 7.0, starts)

            # Text typed into the input box by the plug-in, then Enter: HexChat says it.
            mark = s.proxy.mark()
            hc.command("QUIBO InsertInBuffer() typed into the input box", tab=h.CHANNEL)
            hc.command("QUIBO ExecUserInput()", tab=h.CHANNEL)
            s.proxy.wait_sent(f"PRIVMSG {h.CHANNEL} :typed into the input box", since=mark)
            self.assertFalse([l for l in s.proxy.sent(mark) if l.startswith("TOPIC")], "the topic box got the text")


if __name__ == "__main__":
    ARGS, rest = h.parse_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
