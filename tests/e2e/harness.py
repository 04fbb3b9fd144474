"""Run quibo.so inside a real HexChat against a private ngircd.

Everything lives in one temporary folder and talks over 127.0.0.1 only:

    Xvfb (unless a display is given)  - a private X display
    dbus-daemon --session              - a private bus, so `hexchat -e` can reach *our* HexChat
    ngircd                             - the IRC server, on a free port
    RecordingProxy                     - between HexChat and ngircd, records every line (ircproxy.py)
    hexchat                            - with quibo.so in its addons folder, logging every window
    Peer                               - scripted IRC users (plain sockets), each from a 127.0.0.x
                                         address of its choice

HexChat refuses to start as root without a modal dialog, so when the harness runs as
root every child except Xvfb is started as nobody:nogroup with a private HOME.

Every process is started through a `Processes` registry and stopped by its PID when
the registry closes, also when a test fails. All waits are bounded (`wait_for`).

What a test gets from `session()`:
    s.proxy        every line HexChat sent (SENT) and received (RECEIVED), in order, timed
    s.peer(nick, host="127.0.0.2"), s.clones([...], host=...)
                   scripted users; ngircd (DNS and ident off) shows them as nick!~user@127.0.0.x
    s.hexchat.command(text, tab=...)
                   type into the current tab, a channel, a dialog or SERVER_TAB
    s.hexchat.log_of(tab)
                   what a window printed
    desktop.Desktop(s.display)
                   find a dialog by title and click its buttons
    session(extra_conf=NO_SERVER_TAB)
                   the second configuration, without server tabs
"""

import argparse
import contextlib
import grp
import os
import pwd
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

from ircproxy import RECEIVED, SENT, RecordingProxy  # noqa: F401  (re-exported for the tests)

HOST = "127.0.0.1"
CHANNEL = "#quibo"
NICK = "quibotest"
SERVER_NAME = "irc.quibo.test"
SERVER_TAB = SERVER_NAME  # HexChat names the server tab after the server

# The second HexChat configuration: no server tabs, so server messages and the
# server's front session share the first channel's window.
NO_SERVER_TAB = "gui_tab_server = 0\n"

_FORMATTING = re.compile(r"\x03(\d{1,2}(,\d{1,2})?)?|[\x02\x0f\x11\x16\x1d\x1e\x1f]")


def strip_formatting(text):
    """Drop IRC colour and attribute bytes."""
    return _FORMATTING.sub("", text)


def wait_for(predicate, timeout, interval=0.1, what="condition"):
    """Poll predicate until it returns something truthy; return that value.

    Raises TimeoutError naming `what` once `timeout` seconds have passed."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise TimeoutError(f"timed out after {timeout:g} s waiting for {what}")
        time.sleep(interval)


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind((HOST, 0))
        return s.getsockname()[1]


def read_text(path):
    try:
        with open(path, "r", encoding="utf-8", errors="replace") as f:
            return f.read()
    except FileNotFoundError:
        return ""


# --- users and processes ---------------------------------------------------------------

class Identity:
    """Who the children run as: the caller, or nobody:nogroup when the caller is root."""

    def __init__(self):
        self.drop = os.geteuid() == 0
        if self.drop:
            user = pwd.getpwnam("nobody")
            try:
                gid = grp.getgrnam("nogroup").gr_gid
                group = "nogroup"
            except KeyError:
                gid, group = user.pw_gid, str(user.pw_gid)
            self.uid, self.gid, self.name = user.pw_uid, gid, "nobody"
            self.prefix = ["setpriv", f"--reuid={user.pw_uid}", f"--regid={group}", "--clear-groups"]
        else:
            self.uid, self.gid = os.getuid(), os.getgid()
            self.name = pwd.getpwuid(self.uid).pw_name
            self.prefix = []

    def own(self, path):
        """Give a file or a whole folder to the child user."""
        if not self.drop:
            return
        os.chown(path, self.uid, self.gid)
        for root, dirs, files in os.walk(path):
            for name in dirs + files:
                os.chown(os.path.join(root, name), self.uid, self.gid, follow_symlinks=False)


class Processes:
    """Starts children and stops each of them by its PID, newest first."""

    def __init__(self, logdir):
        self.logdir = logdir
        self.running = []  # (name, Popen)

    def start(self, name, argv, env=None, pass_fds=(), stdout=None):
        out = stdout or os.path.join(self.logdir, f"{name}.out")
        err = os.path.join(self.logdir, f"{name}.err")
        with open(out, "wb") as o, open(err, "wb") as e:
            proc = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, stdout=o, stderr=e,
                                    pass_fds=pass_fds, start_new_session=True)
        self.running.append((name, proc))
        return proc

    def stop(self, proc, grace=3.0):
        if proc.poll() is None:
            with contextlib.suppress(ProcessLookupError):
                os.kill(proc.pid, signal.SIGTERM)
            try:
                proc.wait(timeout=grace)
            except subprocess.TimeoutExpired:
                with contextlib.suppress(ProcessLookupError):
                    os.kill(proc.pid, signal.SIGKILL)
                proc.wait(timeout=grace)
        self.running = [(n, p) for (n, p) in self.running if p is not proc]

    def stop_all(self):
        for _, proc in reversed(list(self.running)):
            self.stop(proc)


# --- the services ----------------------------------------------------------------------

def start_xvfb(procs, timeout=15):
    """Start Xvfb on a display it picks itself; return (proc, ':N').

    Xvfb writes the display number into a file rather than a pipe: it writes it again
    whenever it resets, and a closed pipe would then kill it. -noreset avoids the resets."""
    path = os.path.join(procs.logdir, "xvfb.display")
    with open(path, "wb") as f:
        proc = procs.start("xvfb", ["Xvfb", "-displayfd", str(f.fileno()), "-screen", "0", "1280x800x24",
                                    "-nolisten", "tcp", "-noreset"],
                           pass_fds=(f.fileno(),))

    def reported():
        if proc.poll() is not None:
            raise RuntimeError("Xvfb exited: " + read_text(os.path.join(procs.logdir, "xvfb.err")))
        text = read_text(path)
        return text.endswith("\n") and text.strip()
    return proc, ":" + wait_for(reported, timeout, what="Xvfb to report its display")


def start_dbus(procs, ident, workdir, timeout=10):
    """Start a private session bus as the child user; return (proc, address)."""
    socket_path = os.path.join(workdir, "bus")
    address = f"unix:path={socket_path}"
    proc = procs.start("dbus", ident.prefix + ["dbus-daemon", "--session", "--nofork", "--nopidfile",
                                               f"--address={address}", "--print-address=1"],
                       env=_base_env(os.path.join(workdir, "home")))
    wait_for(lambda: proc.poll() is not None or read_text(os.path.join(workdir, "dbus.out")).strip(),
             timeout, what="the session bus")
    if proc.poll() is not None:
        raise RuntimeError("dbus-daemon exited: " + read_text(os.path.join(workdir, "dbus.err")))
    return proc, read_text(os.path.join(workdir, "dbus.out")).strip().splitlines()[0]


NGIRCD_CONF = """[Global]
    Name = {name}
    Info = quibo test server
    Listen = {host}
    Ports = {port}
    MotdPhrase = quibo test server
    PidFile = {dir}/ngircd.pid
    HelpFile = {dir}/help.txt
[Limits]
    MaxConnectionsIP = 0
    MaxPenaltyTime = 0
    MaxNickLength = 16
    PingTimeout = 120
    PongTimeout = 60
[Options]
    DNS = no
    Ident = no
    PAM = no
"""


class Ircd:
    def __init__(self, proc, port, directory):
        self.proc, self.port, self.dir = proc, port, directory

    def log(self):
        return read_text(os.path.join(self.dir, "ngircd.out")) + read_text(os.path.join(self.dir, "ngircd.err"))


def start_ngircd(procs, ident, workdir, timeout=15):
    """Start ngircd on a free port of 127.0.0.1 as the child user; return an Ircd."""
    directory = os.path.join(workdir, "ircd")
    os.makedirs(directory, exist_ok=True)
    port = free_port()
    conf = os.path.join(directory, "ngircd.conf")
    with open(conf, "w") as f:
        f.write(NGIRCD_CONF.format(name=SERVER_NAME, host=HOST, port=port, dir=directory))
    with open(os.path.join(directory, "help.txt"), "w") as f:
        f.write("")
    ident.own(directory)
    proc = procs.start("ngircd", ident.prefix + ["ngircd", "-n", "-f", conf],
                       env=_base_env(directory), stdout=os.path.join(directory, "ngircd.out"))
    ircd = Ircd(proc, port, directory)

    def listening():
        if proc.poll() is not None:
            raise RuntimeError("ngircd exited: " + ircd.log())
        return f"Now listening on [{HOST}]:{port}" in ircd.log()
    wait_for(listening, timeout, what="ngircd to listen")
    return ircd


def _base_env(home):
    env = {
        "PATH": "/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin",
        "HOME": home,
        "LANG": "C.UTF-8",
        "LC_ALL": "C.UTF-8",
    }
    return env


HEXCHAT_CONF = """irc_nick1 = {nick}
irc_nick2 = {nick}_
irc_nick3 = {nick}__
irc_user_name = quibo
irc_real_name = quibo test user
irc_logging = 1
irc_logmask = %n-%c.log
stamp_log = 0
stamp_text = 0
text_replay = 0
gui_slist_skip = 1
gui_join_dialog = 0
gui_quit_dialog = 0
gui_autoopen_dialog = 1
gui_tray = 0
gui_win_left = 0
gui_win_top = 0
gui_win_width = 1200
gui_win_height = 760
net_throttle = 0
irc_join_delay = 0
irc_who_join = 1
input_balloon_hilight = 0
input_balloon_priv = 0
input_balloon_chans = 0
input_tray_hilight = 0
input_tray_priv = 0
input_flash_hilight = 0
input_flash_priv = 0
"""


class HexChat:
    """A running HexChat with its folders, environment and output files."""

    def __init__(self, procs, ident, env, home, cfgdir, workdir):
        self.procs, self.ident, self.env = procs, ident, env
        self.home, self.cfgdir, self.workdir = home, cfgdir, workdir
        self.logdir = os.path.join(cfgdir, "logs")
        self.stdout_path = os.path.join(workdir, "hexchat.out")
        self.stderr_path = os.path.join(workdir, "hexchat.err")
        self.proc = None

    @property
    def data_dir(self):
        return os.path.join(self.home, ".xchat2", "quiboscript")

    def running(self):
        return self.proc is not None and self.proc.poll() is None

    def stdout(self):
        return read_text(self.stdout_path)

    def stderr(self):
        return read_text(self.stderr_path)

    def logs(self):
        """Every HexChat window log, colours stripped, keyed by file name."""
        result = {}
        if os.path.isdir(self.logdir):
            for root, _, files in os.walk(self.logdir):
                for name in sorted(files):
                    result[name] = strip_formatting(read_text(os.path.join(root, name)))
        return result

    def log_text(self):
        return "\n".join(self.logs().values())

    def log_lines(self):
        return [line for text in self.logs().values() for line in text.splitlines()]

    def on_bus(self):
        return hexchat_on_bus(self.ident, self.env)

    def command(self, text, tab=None, timeout=10):
        """Type a command (without its slash) into HexChat from outside.

        Without `tab` it runs in HexChat's current tab. `tab` names another one: a
        channel ("#quibo"), a dialog (the other user's nick), or the server tab
        (SERVER_TAB, the server's name); "/" + a server name is that server's front
        tab. HexChat's own DOAT command carries it there, and does nothing at all when
        no such tab is open: check the effect."""
        if not self.running():
            raise RuntimeError("HexChat is not running")
        if tab is not None:
            if not tab or " " in tab or "," in tab:
                raise ValueError(f"not a tab name: {tab!r}")
            text = f"DOAT {tab} {text}"
        remote_command(self.ident, self.env, self.workdir, text, timeout)

    def log_of(self, tab):
        """The log of one window, colours stripped: the server tab is SERVER_TAB.

        HexChat names a log after the network and the window as they were when the log
        opened (without a server tab, the channel's log is "#chan-#chan.log")."""
        logs = self.logs()
        if tab == SERVER_TAB:
            return logs.get(f"{SERVER_NAME}-server.log", "")
        return "".join(text for name, text in logs.items() if name.lower().endswith(f"-{tab.lower()}.log"))

    def stop(self):
        if self.proc is not None:
            self.procs.stop(self.proc)


def hexchat_on_bus(ident, env):
    """Whether a HexChat has registered on the session bus named in env."""
    probe = subprocess.run(
        ident.prefix + ["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                        "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                        "string:org.hexchat.service"],
        env=env, capture_output=True, text=True, timeout=10)
    return probe.returncode == 0 and "boolean true" in probe.stdout


def remote_command(ident, env, workdir, text, timeout=10):
    """Run a command in the HexChat on env's session bus, through its D-Bus remote.

    `hexchat -e` starts a fresh client when it finds none on the bus, so it is only
    called once ours is there, with an empty config and no plug-ins just in case, and
    it is killed if it does not return."""
    wait_for(lambda: hexchat_on_bus(ident, env), 10, interval=0.2, what="HexChat on the session bus")
    remote_cfg = os.path.join(workdir, "remote-cfg")
    os.makedirs(remote_cfg, exist_ok=True)
    ident.own(remote_cfg)
    proc = subprocess.Popen(ident.prefix + ["hexchat", "-d", remote_cfg, "--no-plugins", "-e",
                                            f"--command={text}"],
                            env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, start_new_session=True)
    try:
        output, _ = proc.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.kill(proc.pid, signal.SIGKILL)
        proc.wait()
        raise RuntimeError(f"hexchat -e did not return for {text!r}")
    if proc.returncode != 0:
        raise RuntimeError(f"hexchat -e failed for {text!r}: {output.decode(errors='replace')}")


def install_plugin(plugin, data_dir, home, cfgdir):
    """Lay out quibo as the install script does: files in the data folder, link in addons."""
    target = os.path.join(home, ".xchat2", "quiboscript")
    os.makedirs(target, exist_ok=True)
    for name in sorted(os.listdir(data_dir)):
        if name.endswith((".msg", ".au")):
            shutil.copy(os.path.join(data_dir, name), target)
    shutil.copy(plugin, os.path.join(target, "quibo.so"))
    addons = os.path.join(cfgdir, "addons")
    os.makedirs(addons, exist_ok=True)
    os.symlink(os.path.join(target, "quibo.so"), os.path.join(addons, "quibo.so"))


def start_hexchat(procs, ident, workdir, display, bus, port, plugin=None, data_dir=None,
                  channel=CHANNEL, nick=NICK, extra_conf="", extra_env=None, timeout=20):
    """Start HexChat connected to 127.0.0.1:port and joining `channel`.

    With `plugin`, it is installed into the private HOME first and autoloads.
    `extra_conf` lines are appended to hexchat.conf (e.g. NO_SERVER_TAB)."""
    home = os.path.join(workdir, "home")
    cfgdir = os.path.join(home, ".config", "hexchat")
    libdir = os.path.join(workdir, "empty-libdir")
    runtime = os.path.join(home, ".run")
    for d in (cfgdir, libdir, runtime):
        os.makedirs(d, exist_ok=True)
    os.chmod(runtime, 0o700)
    with open(os.path.join(cfgdir, "hexchat.conf"), "w") as f:
        f.write(HEXCHAT_CONF.format(nick=nick) + extra_conf)
    if plugin:
        install_plugin(plugin, data_dir, home, cfgdir)
    ident.own(home)
    ident.own(libdir)

    env = _base_env(home)
    env.update({
        "USER": ident.name,
        "LOGNAME": ident.name,
        "DISPLAY": display,
        "DBUS_SESSION_BUS_ADDRESS": bus,
        "HEXCHAT_LIBDIR": libdir,
        "XDG_CONFIG_HOME": os.path.join(home, ".config"),
        "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
        "XDG_CACHE_HOME": os.path.join(home, ".cache"),
        "XDG_RUNTIME_DIR": runtime,
        "NO_AT_BRIDGE": "1",
        "GSETTINGS_BACKEND": "memory",
    })
    env.update(extra_env or {})
    hexchat = HexChat(procs, ident, env, home, cfgdir, workdir)
    # Standard output is a file: make it line-buffered as on a terminal, so the
    # plug-in's reports can be read while the client runs.
    argv = ident.prefix + ["stdbuf", "-oL", "-eL", "hexchat", "-d", cfgdir,
                           f"irc://{HOST}:{port}/{channel}"]
    hexchat.proc = procs.start("hexchat", argv, env=env, stdout=hexchat.stdout_path)

    def up():
        if not hexchat.running():
            raise RuntimeError(f"HexChat exited early ({hexchat.proc.returncode}):\n"
                               f"{hexchat.stdout()}\n{hexchat.stderr()}")
        return hexchat.on_bus()
    wait_for(up, timeout, interval=0.2, what="HexChat to start")
    return hexchat


# --- scripted IRC users ----------------------------------------------------------------

CTCP = "\x01"


def ctcp_body(line):
    """(command, argument) of a CTCP request or answer carried by a PRIVMSG/NOTICE line, or None."""
    text = line.split(" :", 1)[1] if " :" in line else ""
    if len(text) < 2 or text[0] != CTCP:
        return None
    body = text[1:-1] if text.endswith(CTCP) else text[1:]
    command, _, argument = body.partition(" ")
    return command.upper(), argument


def line_source_nick(line):
    return line[1:].split("!", 1)[0].split(" ", 1)[0] if line.startswith(":") else ""


class Peer:
    """An IRC user driven by the test over a plain socket.

    `source` is the loopback address the socket is bound to: peers bound to distinct
    127.0.0.x addresses are users from distinct hosts, peers sharing one are clones.
    `mask` (nick!user@host) and `host` are what the server says about the peer at
    registration. `ctcp_answers` maps a CTCP command to the text the peer answers it
    with, whenever a request arrives while the peer reads."""

    def __init__(self, port, nick, timeout=10, source=None, user=None):
        if source is not None and not source.startswith("127."):
            raise ValueError(f"peers stay on loopback, not {source}")
        self.nick = nick
        self.source = source or HOST
        self.lines = []  # every line received, in order
        self.ctcp_answers = {}
        self._buffer = b""
        self._sock = socket.create_connection((HOST, port), timeout=timeout, source_address=(self.source, 0))
        self.send(f"NICK {nick}")
        self.send(f"USER {user or nick} 0 * :quibo test peer {nick}")
        welcome = self.wait_line(lambda l: _command(l) == "001", timeout, what=f"{nick} to register")
        self.mask = next((w for w in reversed(welcome.split()) if "!" in w and "@" in w), "").lstrip(":")
        self.host = self.mask.rsplit("@", 1)[-1]

    def send(self, line):
        self._sock.sendall(line.encode() + b"\r\n")

    def privmsg(self, target, text):
        self.send(f"PRIVMSG {target} :{text}")

    def notice(self, target, text):
        self.send(f"NOTICE {target} :{text}")

    def action(self, target, text):
        self.ctcp(target, "ACTION", text)

    def ctcp(self, target, command, argument=""):
        """Send a CTCP request (a PRIVMSG wrapped in \\x01)."""
        body = f"{command} {argument}" if argument else command
        self.privmsg(target, f"{CTCP}{body}{CTCP}")

    def ctcp_reply(self, target, command, text=""):
        """Send a CTCP answer (a NOTICE wrapped in \\x01)."""
        body = f"{command} {text}" if text else command
        self.notice(target, f"{CTCP}{body}{CTCP}")

    def wait_ctcp_reply(self, sender, command, timeout=10, start=0):
        """The argument of the first CTCP `command` answer from `sender`."""
        def is_reply(line):
            body = _command(line) == "NOTICE" and line_source_nick(line).lower() == sender.lower() and ctcp_body(line)
            return body and body[0] == command.upper()
        return ctcp_body(self.wait_line(is_reply, timeout, what=f"{sender}'s CTCP {command} answer", start=start))[1]

    def invite(self, nick, channel):
        self.send(f"INVITE {nick} {channel}")

    def mode(self, target, modes):
        self.send(f"MODE {target} {modes}")

    def kick(self, channel, nick, reason="kicked"):
        self.send(f"KICK {channel} {nick} :{reason}")

    def part(self, channel, reason="", timeout=10):
        mark = len(self.lines)
        self.send(f"PART {channel} :{reason}" if reason else f"PART {channel}")
        self.wait_line(lambda l: _command(l) == "PART" and line_source_nick(l) == self.nick, timeout,
                       what=f"PART {channel}", start=mark)

    def change_nick(self, new, timeout=10):
        """Change nickname and wait until the server confirms it."""
        mark = len(self.lines)
        old = self.nick
        self.send(f"NICK {new}")
        self.wait_line(lambda l: _command(l) == "NICK" and line_source_nick(l) == old, timeout,
                       what=f"NICK {old} -> {new}", start=mark)
        self.nick = new
        self.mask = new + self.mask[len(old):]

    def quit(self, reason="bye"):
        """Leave the server and close the socket."""
        with contextlib.suppress(OSError):
            self.send(f"QUIT :{reason}")
            with contextlib.suppress(TimeoutError, ConnectionError, OSError):
                self.wait_line(lambda l: l.startswith("ERROR"), 5, what="the server to close", start=len(self.lines))
        self._sock.close()

    def flood(self, target, count, pace=0.0, text="flood line {i}", kind="PRIVMSG"):
        """Send `count` lines to target, `pace` seconds apart (0: all in one write).

        `kind` is PRIVMSG, NOTICE, ACTION or a CTCP command such as VERSION (then `text`
        is its argument). Returns the texts sent."""
        texts = [text.format(i=i, nick=self.nick) for i in range(count)]
        kind = kind.upper()

        def line(t):
            if kind in ("PRIVMSG", "NOTICE"):
                return f"{kind} {target} :{t}"
            return f"PRIVMSG {target} :{CTCP}{kind} {t}{CTCP}" if t else f"PRIVMSG {target} :{CTCP}{kind}{CTCP}"
        if pace <= 0:
            self._sock.sendall(b"".join(line(t).encode() + b"\r\n" for t in texts))
            return texts
        start = time.monotonic()
        for i, t in enumerate(texts):
            delay = start + i * pace - time.monotonic()
            if delay > 0:
                time.sleep(delay)
            self.send(line(t))
        return texts

    def _answer_ctcp(self, line):
        body = _command(line) == "PRIVMSG" and ctcp_body(line)
        if body and body[0] in self.ctcp_answers and body[0] != "ACTION":
            self.ctcp_reply(line_source_nick(line), body[0], self.ctcp_answers[body[0]])

    def _pump(self, wait):
        self._sock.settimeout(max(wait, 0.01))
        try:
            data = self._sock.recv(65536)
        except socket.timeout:
            return
        if not data:
            raise ConnectionError(f"{self.nick}: server closed the connection")
        self._buffer += data
        while b"\r\n" in self._buffer:
            raw, self._buffer = self._buffer.split(b"\r\n", 1)
            line = raw.decode("utf-8", errors="replace")
            if line.startswith("PING "):
                self.send("PONG " + line[5:])
            self._answer_ctcp(line)
            self.lines.append(line)

    def wait_line(self, predicate, timeout=10, what="a line", start=0):
        """Return the first received line (from index `start` on) that satisfies predicate."""
        deadline = time.monotonic() + timeout
        seen = start
        while True:
            for line in self.lines[seen:]:
                if predicate(line):
                    return line
            seen = len(self.lines)
            left = deadline - time.monotonic()
            if left <= 0:
                raise TimeoutError(f"{self.nick}: timed out after {timeout:g} s waiting for {what}")
            self._pump(min(left, 0.5))

    def read_for(self, seconds):
        """Read (and answer PINGs and CTCP requests) for a while."""
        with contextlib.suppress(TimeoutError):
            self.wait_line(lambda l: False, seconds, start=len(self.lines))

    def join(self, channel, timeout=10):
        mark = len(self.lines)
        self.send(f"JOIN {channel}")
        self.wait_line(lambda l: _command(l) == "366", timeout, what=f"JOIN {channel}", start=mark)

    def names(self, channel, timeout=10):
        """Nicknames on channel, without their prefixes."""
        mark = len(self.lines)
        self.send(f"NAMES {channel}")
        self.wait_line(lambda l: _command(l) == "366", timeout, what=f"NAMES {channel}", start=mark)
        nicks = set()
        for line in self.lines[mark:]:
            if _command(line) == "353":
                nicks.update(n.lstrip("@+%&~") for n in line.split(" :", 1)[1].split())
        return nicks

    def who(self, mask, timeout=10):
        """{nick: (user, host)} from the server's WHO replies for mask."""
        mark = len(self.lines)
        self.send(f"WHO {mask}")
        self.wait_line(lambda l: _command(l) == "315", timeout, what=f"WHO {mask}", start=mark)
        found = {}
        for line in self.lines[mark:]:
            if _command(line) == "352":
                # :server 352 me channel user host server nick flags :hops realname
                words = line.split()
                found[words[7]] = (words[4], words[5])
        return found

    def close(self):
        with contextlib.suppress(OSError):
            self.send("QUIT :bye")
        self._sock.close()


def _command(line):
    parts = line.split(" ")
    if parts and parts[0].startswith(":"):
        parts = parts[1:]
    return parts[0] if parts else ""


# --- one whole set-up ------------------------------------------------------------------

class Session:
    """Xvfb + bus + ngircd + HexChat with quibo, in one temporary folder."""

    def __init__(self, workdir, procs, ident):
        self.workdir, self.procs, self.ident = workdir, procs, ident
        self.display = self.bus = self.ircd = self.hexchat = self.proxy = None
        self.peers = []

    def peer(self, nick, host=None, user=None, timeout=10):
        """A scripted user, from `host` (a 127.0.0.x address; 127.0.0.1 by default),
        with `user` as its user name (its nick by default)."""
        p = Peer(self.ircd.port, nick, timeout, source=host, user=user)
        self.peers.append(p)
        return p

    def clones(self, nicks, host="127.0.0.2", user=None, timeout=10):
        """Several scripted users from one host (and one user name, when given)."""
        return [self.peer(nick, host, user, timeout) for nick in nicks]

    def wait_joined(self, channel=CHANNEL, nick=NICK, timeout=20):
        """Wait until the HexChat user is on channel, as a fresh peer sees it, and (with
        the proxy) until HexChat has had the answer to the WHO it sends after joining,
        so that its own join traffic is over before a test goes on."""
        watcher = self.peer(f"w{os.getpid() % 100000}")
        try:
            wait_for(lambda: nick in watcher.names(channel), timeout, interval=0.3,
                     what=f"{nick} on {channel}")
        finally:
            watcher.close()
            self.peers.remove(watcher)
        if self.proxy:
            end_of_who = f" 315 {nick} {channel.lower()} "
            self.proxy.wait_line(lambda l: end_of_who in l.text.lower(), timeout, RECEIVED,
                                 what=f"the end of HexChat's WHO {channel}")

    def report(self):
        """Everything useful after a failure."""
        parts = [f"work folder: {self.workdir}"]
        for name in ("hexchat.out", "hexchat.err", "dbus.err", "xvfb.err"):
            parts += [f"--- {name} ---", read_text(os.path.join(self.workdir, name))[-4000:]]
        if self.hexchat:
            for name, text in self.hexchat.logs().items():
                parts += [f"--- log {name} ---", text[-4000:]]
        if self.ircd:
            parts += ["--- ngircd ---", self.ircd.log()[-3000:]]
        if self.proxy:
            parts += ["--- HexChat's traffic (> sent, < received) ---", self.proxy.transcript(150)]
        return "\n".join(parts)


def start_all(s, plugin=None, data_dir=None, channel=CHANNEL, display=None, extra_env=None,
              extra_conf="", proxy=True):
    """Bring up the display (unless one is given), the bus, ngircd and HexChat into s.

    With `proxy`, HexChat reaches ngircd through a RecordingProxy (s.proxy) that lives
    in this Python process: a caller that exits while HexChat runs on passes False."""
    os.chmod(s.workdir, 0o755)
    os.makedirs(os.path.join(s.workdir, "home"), exist_ok=True)
    s.ident.own(s.workdir)
    if display is None:
        _, display = start_xvfb(s.procs)
    s.display = display
    _, s.bus = start_dbus(s.procs, s.ident, s.workdir)
    s.ircd = start_ngircd(s.procs, s.ident, s.workdir)
    port = s.ircd.port
    if proxy:
        s.proxy = RecordingProxy(s.ircd.port)
        port = s.proxy.port
    s.hexchat = start_hexchat(s.procs, s.ident, s.workdir, display, s.bus, port, plugin=plugin,
                              data_dir=data_dir, channel=channel, extra_env=extra_env, extra_conf=extra_conf)
    return s


@contextlib.contextmanager
def session(plugin=None, data_dir=None, channel=CHANNEL, keep=False, display=None, extra_conf=""):
    """Start everything; stop every process by its PID on the way out.

    `extra_conf` is added to HexChat's configuration (NO_SERVER_TAB for the second one).
    The temporary folder is removed afterwards unless `keep` is set or
    QUIBO_E2E_KEEP is in the environment."""
    workdir = tempfile.mkdtemp(prefix="quibo-e2e-")
    s = Session(workdir, Processes(workdir), Identity())
    ok = False
    try:
        start_all(s, plugin=plugin, data_dir=data_dir, channel=channel, display=display, extra_conf=extra_conf)
        yield s
        ok = True
    except BaseException:
        print(s.report(), file=sys.stderr)
        raise
    finally:
        for p in s.peers:
            p.close()
        s.procs.stop_all()
        if s.proxy:
            s.proxy.close()
        if ok and not keep and "QUIBO_E2E_KEEP" not in os.environ:
            shutil.rmtree(workdir, ignore_errors=True)
        else:
            print(f"kept {workdir}", file=sys.stderr)


def parse_args(argv=None):
    """Command line shared by the e2e tests: where the plug-in and its data are."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--plugin", required=True, help="path of the built quibo.so")
    parser.add_argument("--data", required=True, help="the repository's data folder")
    args, rest = parser.parse_known_args(argv)
    args.plugin = os.path.abspath(args.plugin)
    args.data = os.path.abspath(args.data)
    return args, rest
