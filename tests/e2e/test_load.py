"""quibo.so in a real HexChat: it loads, reports, lets traffic through, eats /QUIBO, unloads."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402

ARGS = None

LOAD_FIRST = "QuIbOsCrIpT plugin loading:"
LOAD_LAST = "QuIbOsCrIpT Loading completed."
LOADED_LINE = "QuIbOsCrIpT XChat2 module loaded."
UNLOAD_LAST = "QuIbOsCrIpT Unloading completed."


def unknown_command_lines(hexchat, command):
    return [line for line in hexchat.log_lines()
            if command in line and "unknown command" in line.lower()]


class LoadInHexChat(unittest.TestCase):
    def test_load_traffic_command_unload(self):
        with h.session(plugin=ARGS.plugin, data_dir=ARGS.data) as s:
            hc = s.hexchat

            # The load report goes to HexChat's standard output, first line to last.
            out = h.wait_for(lambda: LOAD_LAST in hc.stdout() and hc.stdout(), 15,
                             what="the load report on standard output")
            self.assertIn(LOAD_FIRST, out)
            self.assertLess(out.index(LOAD_FIRST), out.index(LOAD_LAST))
            h.wait_for(lambda: LOADED_LINE in hc.log_text(), 10, what="the 'loaded' line in the client")

            # Channel traffic from another user reaches the client.
            s.wait_joined()
            alice = s.peer("alice")
            alice.join(h.CHANNEL)
            alice.privmsg(h.CHANNEL, "hello channel from alice")
            h.wait_for(lambda: "<alice>\thello channel from alice" in hc.log_text(), 10,
                       what="alice's channel message in HexChat")

            # A private message from a sender the guard does not know, with nobody to answer
            # its question: refused, logged, and alice is told so.
            killer_log = os.path.join(hc.data_dir, "private_killer.log")
            alice.privmsg(h.NICK, "hello query from alice")
            alice.wait_line(lambda l: "NOTICE alice :alice, " in l, 15,
                            what="the guard's refusal")
            h.wait_for(lambda: "hello query from alice" in h.read_text(killer_log), 10,
                       what="the refusal in private_killer.log")
            self.assertNotIn("<alice>\thello query from alice", hc.log_text())
            self.assertEqual(h.read_text(killer_log).count("hello query from alice"), 1)

            # With the guard off, private messages reach the client.
            hc.command("QUIBO pktime 0")
            alice.privmsg(h.NICK, "second query from alice")
            h.wait_for(lambda: "<alice>\tsecond query from alice" in hc.log_text(), 10,
                       what="alice's private message in HexChat")

            # /QUIBO is taken by the plug-in. Had the client passed it on, the server's
            # "Unknown command" for it would arrive before the one for the command after it.
            hc.command("QUIBO")
            hc.command("NOSUCHCMD")
            h.wait_for(lambda: unknown_command_lines(hc, "NOSUCHCMD"), 10,
                       what="the server's answer to NOSUCHCMD")
            self.assertEqual(unknown_command_lines(hc, "QUIBO"), [])

            # Unload from outside (never from inside the plug-in's own callback).
            hc.command("UNLOAD quibo.so")
            h.wait_for(lambda: UNLOAD_LAST in hc.stdout(), 15, what="the unload report")
            self.assertTrue(hc.running(), "HexChat stopped after the unload")

            # With the plug-in gone, /QUIBO is an unknown command again: no hook was left behind.
            hc.command("QUIBO")
            h.wait_for(lambda: unknown_command_lines(hc, "QUIBO"), 10,
                       what="/QUIBO to reach the server after the unload")
            self.assertTrue(hc.running(), "HexChat stopped after the unload")


if __name__ == "__main__":
    ARGS, rest = h.parse_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
