"""The command queue in a real HexChat: ten queued /say lines with flood control on
reach another user three at a time, about five seconds apart, on HexChat's /TIMER.
Then the plug-in types into HexChat's input box and presses Enter."""

import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402

ARGS = None

LOADED_LINE = "QuIbOsCrIpT XChat2 module loaded."
LINES = 10


class TimedPeer(h.Peer):
    """A peer that also notes when each line arrived (monotonic seconds)."""

    def __init__(self, *args, **kwargs):
        self.times = []
        super().__init__(*args, **kwargs)

    def _pump(self, wait):
        before = len(self.lines)
        super()._pump(wait)
        self.times += [time.monotonic()] * (len(self.lines) - before)


def batches(times, gap=2.0):
    """Arrival times split wherever more than `gap` seconds pass."""
    groups = []
    for t in times:
        if groups and t - groups[-1][-1] <= gap:
            groups[-1].append(t)
        else:
            groups.append([t])
    return groups


class QueueInHexChat(unittest.TestCase):
    def test_flood_controlled_batches(self):
        with h.session(plugin=ARGS.plugin, data_dir=ARGS.data) as s:
            hc = s.hexchat
            h.wait_for(lambda: LOADED_LINE in hc.log_text(), 15, what="the plug-in to load")
            s.wait_joined()
            bob = TimedPeer(s.ircd.port, "bob")
            s.peers.append(bob)
            bob.join(h.CHANNEL)

            hc.command("QUIBO textfloodout 1")
            for n in range(1, LINES + 1):
                hc.command(f"QUIBO InsertCommandInQueue(0) /say queued line {n}")
            hc.command("QUIBO ExecCommandInQueue(0)")

            def said(line):
                return line.endswith(f"PRIVMSG {h.CHANNEL} :queued line {LINES}")
            bob.wait_line(said, 40, what="the last queued line")
            got = [(line.split(" :", 1)[1], t) for line, t in zip(bob.lines, bob.times)
                   if f"PRIVMSG {h.CHANNEL} :queued line " in line]
            self.assertEqual([text for text, _ in got], [f"queued line {n}" for n in range(1, LINES + 1)])

            groups = batches([t for _, t in got])
            self.assertEqual([len(g) for g in groups], [3, 3, 3, 1], groups)
            starts = [g[0] for g in groups]
            for earlier, later in zip(starts, starts[1:]):
                self.assertGreaterEqual(later - earlier, 4.0, starts)
                self.assertLessEqual(later - earlier, 7.0, starts)

            # Text typed into the input box by the plug-in, then Enter: HexChat says it.
            mark = len(bob.lines)
            hc.command("QUIBO InsertInBuffer() typed into the input box")
            hc.command("QUIBO ExecUserInput()")
            bob.wait_line(lambda l: l.endswith(f"PRIVMSG {h.CHANNEL} :typed into the input box"), 10,
                          what="the input box's text", start=mark)
            self.assertFalse(any(" TOPIC " in line for line in bob.lines[mark:]), "the topic box got the text")


if __name__ == "__main__":
    ARGS, rest = h.parse_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
