"""Private messages and CTCP requests in a real HexChat, seen by the peers.

A CTCP VERSION gets the client's one answer and quibo reports it; with answers switched
off, or from a user whose CTCPs the client ignores, the request is blanked; a CTCP flood
switches answering off. A peer flooding private messages is cut off and heard again
after ten quiet seconds; a mention of our nick is listed by /quibo mynick; a rule of
quibo.snt answers "!ping" once, whatever the text carries."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402

ARGS = None

LOADED_LINE = "QuIbOsCrIpT XChat2 module loaded."
RULE = 'Ripetizioni "0" Evento "text" Condizione "!ping=$data" Azione "/say pong $ru: $data"\n'
HOSTILE = "!ping \\;/quit %B $(id) `id`"


def ctcp_answers(peer, command, start=0):
    """The CTCP answers of our client that `peer` received from line `start` on."""
    return [line for line in peer.lines[start:]
            if h.line_source_nick(line) == h.NICK and " NOTICE " in line and (h.ctcp_body(line) or ("",))[0] == command]


def started(s, *commands):
    """HexChat with quibo loaded and joined, the private-message guard and the sounds off."""
    hc = s.hexchat
    h.wait_for(lambda: LOADED_LINE in hc.log_text(), 15, what="the plug-in to load")
    s.wait_joined()
    for command in ("QUIBO pktime 0", "QUIBO alert 0") + commands:
        hc.command(command, tab=h.CHANNEL)
    return hc


class PrivateMessagesInHexChat(unittest.TestCase):
    def test_ctcp_answers_blanking_and_flood(self):
        with h.session(plugin=ARGS.plugin, data_dir=ARGS.data) as s:
            # HexChat's own CTCP flood limit stays out of the way.
            hc = started(s, "SET -quiet flood_ctcp_num 100")
            bob = s.peer("bob", host="127.0.0.2")
            bob.ctcp(h.NICK, "VERSION")
            bob.wait_ctcp_reply(h.NICK, "VERSION")
            h.wait_for(lambda: "Richiesta CTCP da bob" in hc.log_text(), 10, what="quibo's report of the request")
            bob.read_for(2)
            self.assertEqual(len(ctcp_answers(bob, "VERSION")), 1)

            hc.command("QUIBO ctcp 0", tab=h.CHANNEL)
            start = len(bob.lines)
            bob.ctcp(h.NICK, "VERSION")
            bob.ctcp(h.NICK, "TIME")
            bob.read_for(3)
            self.assertEqual(ctcp_answers(bob, "VERSION", start) + ctcp_answers(bob, "TIME", start), [])
            self.assertIn("QuIbOsCrIpT MeSsAgE: CTCP Ignored", hc.log_text())
            hc.command("QUIBO ctcp 1", tab=h.CHANNEL)

            carol = s.peer("carol", host="127.0.0.3")
            carol.join(h.CHANNEL)
            hc.command("IGNORE carol!*@* CTCP", tab=h.CHANNEL)
            carol.ctcp(h.NICK, "VERSION")
            carol.action(h.CHANNEL, "waves at everybody")
            h.wait_for(lambda: "carol waves at everybody" in hc.log_of(h.CHANNEL), 10, what="carol's action")
            carol.read_for(2)
            self.assertEqual(ctcp_answers(carol, "VERSION"), [])

            # The first request opens a one-second window; the ninth after it (3 x maxsent 3) ends answering.
            hc.command("QUIBO textfloodin 1", tab=h.CHANNEL)
            dave = s.peer("dave", host="127.0.0.4")
            dave.flood(h.NICK, 12, kind="PING", text="{i}")
            h.wait_for(lambda: "Flood di richieste CTCP" in hc.log_text(), 10, what="the CTCP flood report")
            dave.read_for(3)
            self.assertEqual(len(ctcp_answers(dave, "PING")), 9, dave.lines)
            start = len(bob.lines)
            bob.ctcp(h.NICK, "VERSION")
            bob.read_for(3)
            self.assertEqual(ctcp_answers(bob, "VERSION", start), [], "answering stays off")

    def test_query_flood_mentions_and_a_rule(self):
        # Away and not unmarked by the client: the cut-off sender is told.
        with h.session(plugin=ARGS.plugin, data_dir=ARGS.data, extra_conf="away_auto_unmark = 0\n") as s:
            hc = started(s, "QUIBO textfloodin 1", "QUIBO maxquery 8", "AWAY out for lunch")
            eve = s.peer("eve", host="127.0.0.5")
            eve.flood(h.NICK, 12, text="query {i}")
            # The first message had the away answer.
            eve.wait_line(lambda l: "troppi messaggi privati" in l, 10, what="the query flood notice")
            h.wait_for(lambda: "query 7" in hc.log_of("eve"), 10, what="the accepted messages")
            eve.read_for(2)
            shown = hc.log_of("eve")
            self.assertIn("query 7", shown)
            for cut in range(8, 12):
                self.assertNotIn(f"query {cut}", shown)
            self.assertTrue([l for l in eve.lines if "in questo momento sono assente" in l])
            eve.read_for(11)
            eve.privmsg(h.NICK, "after the quiet seconds")
            h.wait_for(lambda: "after the quiet seconds" in hc.log_of("eve"), 10, what="the accepted message")
            hc.command("BACK", tab=h.CHANNEL)

            frank = s.peer("frank", host="127.0.0.6")
            frank.join(h.CHANNEL)
            frank.privmsg(h.CHANNEL, f"hello {h.NICK}, lunch?")
            h.wait_for(lambda: f"hello {h.NICK}, lunch?" in hc.log_of(h.CHANNEL), 10, what="frank's line")
            hc.command("QUIBO mynick", tab=h.CHANNEL)
            h.wait_for(lambda: f"da frank: hello {h.NICK}, lunch?" in hc.log_of(h.CHANNEL), 10,
                       what="the mention in /quibo mynick")

            with open(os.path.join(hc.data_dir, "quibo.snt"), "w") as snt:
                snt.write(RULE)
            hc.command("EVENT read", tab=h.CHANNEL)
            mark = s.proxy.mark()
            start = len(frank.lines)
            frank.privmsg(h.CHANNEL, "!ping")
            frank.wait_line(lambda l: l.endswith(f"PRIVMSG {h.CHANNEL} :pong frank: !ping"), 15, what="the pong",
                            start=start)
            start = len(frank.lines)
            frank.privmsg(h.CHANNEL, HOSTILE)
            frank.wait_line(lambda l: "pong" in l, 15, what="the second pong", start=start)
            frank.read_for(5)
            answers = [l for l in frank.lines[start:] if " PRIVMSG " in l]
            self.assertEqual(len(answers), 1, answers)
            self.assertTrue(answers[0].endswith(f"PRIVMSG {h.CHANNEL} :pong frank: {HOSTILE}"), answers[0])
            self.assertFalse([l for l in s.proxy.sent(mark) if l.startswith("QUIT")])


if __name__ == "__main__":
    ARGS, rest = h.parse_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
