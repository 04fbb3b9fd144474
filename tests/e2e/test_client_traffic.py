"""What HexChat itself sends, seen on the wire: the reference for the simulated client.

HexChat runs without quibo here, so these are the client's own reactions: after joining
a channel it asks for the channel's modes and (irc_who_join is on) for its WHO list, and
it answers a peer's CTCP VERSION with its own version text."""

import os
import re
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402
from ircproxy import RECEIVED, SENT  # noqa: E402

ARGS = None


class ClientTraffic(unittest.TestCase):
    def test_who_after_join_and_own_ctcp_version_answer(self):
        with h.session() as s:
            s.wait_joined()
            proxy = s.proxy

            join = proxy.wait_sent(f"JOIN {h.CHANNEL}")
            joined = proxy.wait_line(lambda l: re.fullmatch(rf":{h.NICK}!\S+ JOIN :{h.CHANNEL}", l.text), 10,
                                     RECEIVED, since=join.index, what="the server's JOIN echo")
            mode = proxy.wait_sent(f"MODE {h.CHANNEL}", since=joined.index)
            who = proxy.wait_sent(f"WHO {h.CHANNEL}", since=joined.index)
            self.assertLess(mode.index, who.index)
            self.assertEqual(proxy.sent(join.index).count(f"WHO {h.CHANNEL}"), 1)
            # The server's answer comes back after the request: one 352 per member, then 315.
            reply = proxy.wait_line(lambda l: f" 315 {h.NICK} {h.CHANNEL} " in l.text, 10, RECEIVED,
                                    since=who.index, what="the end of the WHO list")
            member = [l.text for l in proxy.lines(RECEIVED, who.index) if l.index < reply.index and " 352 " in l.text]
            self.assertEqual(len(member), 1, member)
            self.assertIn(f" {h.CHANNEL} ~quibo 127.0.0.1 {h.SERVER_NAME} {h.NICK} H@ :0 quibo test user", member[0])
            self.assertLessEqual(join.monotonic, who.monotonic)

            alice = s.peer("alice", host="127.0.0.2")
            mark = proxy.mark()
            alice.ctcp(h.NICK, "VERSION")
            request = proxy.wait_line(lambda l: l.text == f":{alice.mask} PRIVMSG {h.NICK} :\x01VERSION\x01", 10,
                                      RECEIVED, since=mark, what="alice's CTCP VERSION")
            answer = proxy.wait_line(lambda l: l.text.startswith("NOTICE alice :\x01VERSION "), 10, SENT,
                                     since=request.index, what="HexChat's VERSION answer")
            version = alice.wait_ctcp_reply(h.NICK, "VERSION")
            self.assertRegex(version, r"^HexChat 2\.\d+\.\d+ / Linux \S+ \[")
            self.assertEqual(answer.text, f"NOTICE alice :\x01VERSION {version}\x01")
            self.assertEqual(len([l for l in proxy.sent(mark) if "VERSION" in l]), 1)
            self.assertLess(answer.monotonic - request.monotonic, 5)


if __name__ == "__main__":
    ARGS, rest = h.parse_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
