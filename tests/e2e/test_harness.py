"""Self-tests of the end-to-end harness: the recording proxy, the scripted users, typing
into a chosen tab, clicking a dialog's button and the second HexChat configuration.

Each of them is something later tests will lean on, so each is checked where it could
quietly go wrong: lines recorded out of order or split, a peer shown from the wrong host,
a command landing in the wrong window, the wrong button pressed."""

import os
import re
import socket
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop  # noqa: E402
import harness as h  # noqa: E402
from ircproxy import RECEIVED, SENT, RecordingProxy  # noqa: E402

ARGS = None


class FakeServer:
    """A one-client TCP server on 127.0.0.1 that answers each line it gets with `reply(line)`
    (a list of byte strings, each written separately)."""

    def __init__(self, reply):
        self.reply = reply
        self.listener = socket.socket()
        self.listener.bind((h.HOST, 0))
        self.listener.listen(1)
        self.port = self.listener.getsockname()[1]
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        conn, _ = self.listener.accept()
        with conn:
            buffer = b""
            while True:
                data = conn.recv(4096)
                if not data:
                    return
                buffer += data
                while b"\n" in buffer:
                    line, buffer = buffer.split(b"\n", 1)
                    for chunk in self.reply(line.rstrip(b"\r")):
                        conn.sendall(chunk)
                        time.sleep(0.02)

    def close(self):
        self.listener.close()
        self.thread.join(timeout=2)


def read_exactly(sock, size, timeout=5):
    sock.settimeout(timeout)
    data = b""
    while len(data) < size:
        chunk = sock.recv(size - len(data))
        if not chunk:
            break
        data += chunk
    return data


class Proxy(unittest.TestCase):
    def test_relays_bytes_unchanged_and_records_lines_in_causal_order(self):
        # Each request is answered by a line cut in two writes and a second whole line:
        # the proxy must pass the bytes on as they are and record whole lines only.
        def reply(line):
            return [b":srv 001 " + line[:2], line[2:] + b" first\r\n", b":srv 002 second " + line + b"\r\n"]
        server = FakeServer(reply)
        with RecordingProxy(server.port) as proxy, socket.create_connection((h.HOST, proxy.port)) as client:
            self.assertTrue(proxy.host.startswith("127."))
            expected = b""
            for word in (b"ONE", b"TWO\xc3\xa8"):
                client.sendall(word + b"\r\n")
                expected = b":srv 001 " + word + b" first\r\n" + b":srv 002 second " + word + b"\r\n"
                self.assertEqual(read_exactly(client, len(expected)), expected)
            proxy.wait_line(lambda l: l.text == ":srv 002 second TWO\u00e8", 5, RECEIVED)
            lines = proxy.lines()
            self.assertEqual([(l.direction, l.text) for l in lines], [
                (SENT, "ONE"), (RECEIVED, ":srv 001 ONE first"), (RECEIVED, ":srv 002 second ONE"),
                (SENT, "TWO\u00e8"), (RECEIVED, ":srv 001 TWO\u00e8 first"), (RECEIVED, ":srv 002 second TWO\u00e8")])
            self.assertEqual([l.index for l in lines], list(range(6)))
            self.assertEqual(proxy.sent(), ["ONE", "TWO\u00e8"])
            self.assertEqual(proxy.received(since=3)[0], ":srv 001 TWO\u00e8 first")
            stamps = [l.monotonic for l in lines]
            self.assertEqual(stamps, sorted(stamps))
            # The two writes of one answer were 20 ms apart: the stamp is that of the whole line.
            self.assertGreaterEqual(lines[2].monotonic - lines[0].monotonic, 0.015)
            self.assertLess(abs(lines[0].wall - time.time()), 60)
            with self.assertRaises(TimeoutError):
                proxy.wait_sent("THREE", timeout=0.2)
        server.close()

    def test_refuses_addresses_off_loopback(self):
        with self.assertRaises(ValueError):
            RecordingProxy(6667, upstream_host="10.0.0.1")
        with self.assertRaises(ValueError):
            h.Peer(6667, "x", source="0.0.0.0")


def log_has(hexchat, tab, text):
    return text in hexchat.log_of(tab)


class WithHexChat(unittest.TestCase):
    def test_peers_hosts_clones_and_their_traffic_as_hexchat_sees_it(self):
        with h.session() as s:
            s.wait_joined()
            proxy = s.proxy
            alice = s.peer("alice", host="127.0.0.2")
            bob = s.peer("bob", host="127.0.0.3")
            clones = s.clones(["clone1", "clone2"], host="127.0.0.4", user="same")
            # What the server says at registration, with DNS and ident lookups off.
            self.assertEqual((alice.mask, bob.mask), ("alice!~alice@127.0.0.2", "bob!~bob@127.0.0.3"))
            self.assertEqual([c.mask for c in clones], ["clone1!~same@127.0.0.4", "clone2!~same@127.0.0.4"])
            for p in [alice, bob] + clones:
                p.join(h.CHANNEL)
            # What HexChat is told: each JOIN carries the peer's own address as its host.
            for p in [alice, bob] + clones:
                proxy.wait_line(lambda l, p=p: l.text == f":{p.mask} JOIN :{h.CHANNEL}", 5, RECEIVED,
                                what=f"{p.nick}'s JOIN")
            self.assertEqual(alice.who(h.CHANNEL)["clone2"], ("~same", "127.0.0.4"))

            mark = proxy.mark()
            alice.notice(h.CHANNEL, "a notice")
            alice.action(h.CHANNEL, "waves")
            alice.invite(h.NICK, "#elsewhere")
            # Lines of different peers reach HexChat in the order the server reads them:
            # let alice's arrive before bob speaks.
            proxy.wait_line(lambda l: " INVITE " in l.text, 5, RECEIVED, since=mark, what="the INVITE")
            bob.change_nick("robert")
            bob.part(h.CHANNEL, "leaving")
            clones[1].quit("gone")
            expected = [
                f":{alice.mask} NOTICE {h.CHANNEL} :a notice",
                f":{alice.mask} PRIVMSG {h.CHANNEL} :\x01ACTION waves\x01",
                f":{alice.mask} INVITE {h.NICK} #elsewhere",
                ":bob!~bob@127.0.0.3 NICK :robert",
                f":{bob.mask} PART {h.CHANNEL} :leaving",
                f":{clones[1].mask} QUIT :\"gone\"",  # ngircd quotes the reason
            ]
            proxy.wait_line(lambda l: l.text == expected[-1], 5, RECEIVED, since=mark, what="the QUIT")
            from_peers = [t for t in proxy.received(since=mark) if not t.startswith(f":{h.SERVER_NAME} ")]
            self.assertEqual(from_peers, expected)

            # Floods arrive whole and in order: one in a single write, one spread over its pace.
            for count, pace, kind in ((200, 0, "PRIVMSG"), (6, 0.1, "NOTICE")):
                mark = proxy.mark()
                texts = alice.flood(h.CHANNEL, count, pace=pace, kind=kind, text=kind + " {i}")
                last = f":{alice.mask} {kind} {h.CHANNEL} :{texts[-1]}"
                proxy.wait_line(lambda l: l.text == last, 10, RECEIVED, since=mark, what="the end of the flood")
                flood = [l for l in proxy.lines(RECEIVED, mark) if f" {kind} " in l.text]
                self.assertEqual([l.text.rsplit(":", 1)[1] for l in flood], texts)
                self.assertGreaterEqual(flood[-1].monotonic - flood[0].monotonic, 0.6 * pace * (count - 1))

            # A CTCP request from HexChat gets the peer's answer.
            alice.ctcp_answers["VERSION"] = "scripted peer 1.0"
            mark = proxy.mark()
            s.hexchat.command("CTCP alice VERSION")
            proxy.wait_sent("PRIVMSG alice :\x01VERSION\x01", since=mark)
            alice.read_for(0.3)
            proxy.wait_line(lambda l: l.text == f":{alice.mask} NOTICE {h.NICK} :\x01VERSION scripted peer 1.0\x01",
                            5, RECEIVED, since=mark, what="alice's CTCP answer")

    def test_commands_typed_into_a_chosen_tab(self):
        with h.session() as s:
            s.wait_joined()
            hc, proxy = s.hexchat, s.proxy
            alice = s.peer("alice", host="127.0.0.2")
            alice.privmsg(h.NICK, "open a dialog")
            h.wait_for(lambda: "open a dialog" in hc.log_of("alice"), 10, what="alice's dialog")

            tabs = [h.SERVER_TAB, h.CHANNEL, "alice"]
            for tab in tabs:
                hc.command(f"ECHO marker in {tab}", tab=tab)
            for tab in tabs:
                h.wait_for(lambda tab=tab: log_has(hc, tab, f"marker in {tab}"), 10, what=f"the marker in {tab}")
                for other in tabs:
                    if other != tab:
                        self.assertNotIn(f"marker in {other}", hc.log_of(tab))

            # Text said in a tab goes to that tab's target.
            mark = proxy.mark()
            hc.command("SAY to the dialog", tab="alice")
            hc.command("SAY to the channel", tab=h.CHANNEL)
            proxy.wait_sent("PRIVMSG #quibo :to the channel", since=mark)
            self.assertEqual(proxy.sent(mark), ["PRIVMSG alice :to the dialog", "PRIVMSG #quibo :to the channel"])
            with self.assertRaises(ValueError):
                hc.command("ECHO x", tab="#a,#b")

    def test_second_configuration_has_no_server_tab(self):
        # Default configuration: server messages have a window of their own.
        with h.session() as s:
            s.wait_joined()
            hc = s.hexchat
            hc.command("ECHO to the server tab", tab=h.SERVER_TAB)
            h.wait_for(lambda: log_has(hc, h.SERVER_TAB, "to the server tab"), 10, what="the server tab's log")
            self.assertIn("End of MOTD command", hc.log_of(h.SERVER_TAB))
        # Second configuration: the channel took over the server's window, there is no
        # server tab to type into, and the server's front tab is the channel.
        with h.session(extra_conf=h.NO_SERVER_TAB) as s:
            s.wait_joined()
            hc = s.hexchat
            hc.command("ECHO lost", tab=h.SERVER_TAB)
            hc.command("ECHO to the front tab", tab="/" + h.SERVER_NAME)
            h.wait_for(lambda: log_has(hc, h.CHANNEL, "to the front tab"), 10, what="the channel's log")
            self.assertNotIn("lost", hc.log_text())
            self.assertEqual(hc.log_of(h.SERVER_TAB), "")

    def test_click_a_button_of_a_dialog(self):
        with h.session() as s:
            s.wait_joined()
            hc = s.hexchat
            screen = desktop.Desktop(s.display)
            # HexChat's own yes/no question: a GTK dialog with "No" and "Yes", which
            # runs the given command with 0 or 1 in the tab it was asked from.
            for index, answer in ((-1, "1"), (0, "0")):
                hc.command('GETBOOL "ECHO answer was" "Quibo question" "Allow it?"', tab=h.CHANNEL)
                dialog = screen.wait_window("^Quibo question$")
                buttons = screen.buttons(dialog)
                self.assertEqual(len(buttons), 2, buttons)
                (x0, y0, w0, h0), (x1, y1, w1, h1) = buttons
                self.assertEqual(y0, y1)
                self.assertLess(x0 + w0, x1)
                self.assertTrue(w0 > 30 and h0 > 15 and x1 + w1 <= dialog.width and y1 + h1 <= dialog.height)
                screen.click_button(dialog, index)
                h.wait_for(lambda a=answer: log_has(hc, h.CHANNEL, f"answer was {a}"), 10,
                           what=f"the answer {answer}")
                screen.wait_gone(dialog)
            # The keyboard works too: the Yes button's mnemonic.
            hc.command('GETBOOL "ECHO answer was" "Quibo question" "Allow it?"', tab=h.CHANNEL)
            dialog = screen.wait_window("^Quibo question$")
            screen.buttons(dialog)  # drawn
            screen.key(dialog, "alt+y")
            screen.wait_gone(dialog)
            h.wait_for(lambda: hc.log_of(h.CHANNEL).count("answer was 1") == 2, 10, what="the keyboard's answer")
            self.assertEqual(re.findall(r"answer was (\d)", hc.log_of(h.CHANNEL)), ["1", "0", "1"])


class ButtonFinder(unittest.TestCase):
    def test_frames_with_dark_bottom_and_right_edges_only(self):
        width, height = 60, 30
        pixels = bytearray(b"\xdc" * width * height * 3)

        def dark(x, y):
            i = (y * width + x) * 3
            pixels[i:i + 3] = b"\x10\x10\x10"
        for x in range(5, 45):      # a button 40x20 at (5, 5): bottom and right edges
            dark(x, 24)
        for y in range(5, 25):
            dark(44, y)
        for x in range(48, 58):     # a short underline: a glyph, not a button
            dark(x, 10)
        for x in range(5, 45):      # a long line without a right edge: a separator
            dark(x, 28)
        ppm = b"P6\n# made by hand\n%d %d\n255\n" % (width, height) + bytes(pixels)
        self.assertEqual(desktop.find_buttons(desktop.Image.from_ppm(ppm)), [(5, 5, 40, 20)])


if __name__ == "__main__":
    ARGS, rest = h.parse_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
