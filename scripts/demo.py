"""The demo's processes: started once, left running, stopped later by the PIDs written down.

Called by demo.sh, which installs the packages, builds and installs quibo into the
demo's own HOME first. Uses the end-to-end test harness to start the same set-up
that the tests use: ngircd on 127.0.0.1, a private session bus, Xvfb when there is no
display, and HexChat with quibo joined to #quibo; plus one scripted user who says hello.
"""

import argparse
import contextlib
import json
import os
import shutil
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import harness as h  # noqa: E402

PEER_NICK = "quibofan"
LOAD_LAST = "QuIbOsCrIpT Loading completed."


def _state_path(directory):
    return os.path.join(directory, "demo.json")


def _start_time(pid):
    """The kernel's start time of a process: with the PID, it names that one process."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[19]
    except (OSError, IndexError):
        return None


def _load(directory):
    try:
        with open(_state_path(directory)) as f:
            return json.load(f)
    except FileNotFoundError:
        return None


def _save(directory, state):
    with open(_state_path(directory), "w") as f:
        json.dump(state, f, indent=2)


def _alive(entry):
    return _start_time(entry["pid"]) == entry["start"]


def running(directory):
    state = _load(directory)
    return state is not None and any(_alive(p) for p in state["processes"])


def _display_access(ident, home):
    """For a real display shared with another user, hand them a copy of our X cookie."""
    source = os.environ.get("XAUTHORITY") or os.path.expanduser("~/.Xauthority")
    if not ident.drop or not os.path.exists(source):
        return {}
    target = os.path.join(home, ".Xauthority")
    shutil.copy(source, target)
    ident.own(target)
    return {"XAUTHORITY": target}


def screenshot(state):
    path = os.path.join(state["dir"], "screenshot.png")
    subprocess.run(["import", "-display", state["display"], "-window", "root", path],
                   check=True, timeout=30, stdin=subprocess.DEVNULL)
    return path


def start(directory):
    if running(directory):
        print("The demo is already running (scripts/demo.sh stop first).")
        show(_load(directory))
        return 0
    s = h.Session(directory, h.Processes(directory), h.Identity())
    try:
        display = os.environ.get("DISPLAY") or None
        extra_env = _display_access(s.ident, os.path.join(directory, "home")) if display else {}
        # No recording proxy: it would live in this process, which exits while the demo runs on.
        h.start_all(s, display=display, extra_env=extra_env, proxy=False)
        s.wait_joined()
        peer = s.procs.start("peer", [sys.executable, os.path.abspath(__file__), "peer",
                                      "--port", str(s.ircd.port)])
        loaded = True
        try:
            h.wait_for(lambda: LOAD_LAST in s.hexchat.stdout(), 15, what="quibo's load report")
        except TimeoutError:
            loaded = False
        state = {
            "dir": directory,
            "display": s.display,
            "own_display": display is None,
            "port": s.ircd.port,
            "env": s.hexchat.env,
            "hexchat_pid": s.hexchat.proc.pid,
            "loaded": loaded,
            "processes": [{"name": name, "pid": p.pid, "start": _start_time(p.pid)}
                          for name, p in s.procs.running],
        }
        _save(directory, state)
        # Give the peer a moment to say hello before the picture is taken.
        with contextlib.suppress(TimeoutError):
            h.wait_for(lambda: f"<{PEER_NICK}>" in s.hexchat.log_text() or peer.poll() is not None, 10,
                       what="the scripted user")
        if state["own_display"]:
            time.sleep(1)  # let the window paint
            state["screenshot"] = screenshot(state)
            _save(directory, state)
    except BaseException:
        print(s.report(), file=sys.stderr)
        s.procs.stop_all()
        raise
    show(state)
    return 0


def show(state):
    d = state["dir"]
    home = os.path.join(d, "home")
    user = "nobody" if os.geteuid() == 0 else "you"
    print(f"""
quibo demo: HexChat with quibo, joined to {h.CHANNEL} on a local ngircd.

  IRC server    ngircd on {h.HOST}:{state['port']}   log: {d}/ircd/ngircd.out
  client        HexChat, PID {state['hexchat_pid']}, running as {user}, nick {h.NICK}, display {state['display']}
  quibo data    {home}/.xchat2/quiboscript/
  load report   {d}/hexchat.out   (HexChat's standard output){'' if state['loaded'] else '  -- NOT SEEN YET'}
  window logs   {home}/.config/hexchat/logs/   (one file per window)""")
    if state.get("screenshot"):
        print(f"  screenshot    {state['screenshot']}   (a fresh one: scripts/demo.sh screenshot)")
    elif not state["own_display"]:
        print(f"  window        on your display {state['display']}")
    print("""
  type into it  scripts/demo.sh cmd "QUIBO"        (any client command, without the slash)
  mentions      scripts/demo.sh cmd "DOAT #quibo QUIBO mynick"   (the scripted user's mention of your nick)
  status        scripts/demo.sh status
  stop          scripts/demo.sh stop
""")


def stop(directory):
    state = _load(directory)
    if state is None:
        print("The demo is not running.")
        return 0
    # Unload quibo first, as closing the client would, so that it can finish its work.
    if _alive(next(e for e in state["processes"] if e["name"] == "hexchat")):
        with contextlib.suppress(Exception):
            h.remote_command(h.Identity(), state["env"], directory, "UNLOAD quibo.so", timeout=5)
            h.wait_for(lambda: "Unloading completed." in h.read_text(os.path.join(directory, "hexchat.out")),
                       5, what="quibo to unload")
    for entry in reversed(state["processes"]):
        if not _alive(entry):
            continue
        with contextlib.suppress(ProcessLookupError):
            os.kill(entry["pid"], signal.SIGTERM)
        try:
            h.wait_for(lambda: not _alive(entry), 5, what=entry["name"])
        except TimeoutError:
            with contextlib.suppress(ProcessLookupError):
                os.kill(entry["pid"], signal.SIGKILL)
        print(f"stopped {entry['name']} (PID {entry['pid']})")
    os.remove(_state_path(directory))
    print(f"Logs are kept in {directory}.")
    return 0


def status(directory):
    state = _load(directory)
    if state is None:
        print("The demo is not running.")
        return 1
    for entry in state["processes"]:
        print(f"  {entry['name']:8} PID {entry['pid']:7}  {'running' if _alive(entry) else 'gone'}")
    return 0 if all(_alive(e) for e in state["processes"]) else 1


def command(directory, text):
    state = _load(directory)
    if state is None or not running(directory):
        print("The demo is not running.", file=sys.stderr)
        return 1
    h.remote_command(h.Identity(), state["env"], directory, text.lstrip("/"))
    return 0


def take_screenshot(directory):
    state = _load(directory)
    if state is None or not state["own_display"]:
        print("The demo is not running under its own Xvfb.", file=sys.stderr)
        return 1
    print(screenshot(state))
    return 0


def peer(port):
    """A user who joins, says hello in the channel and in private, and stays until the server goes."""
    p = h.Peer(port, PEER_NICK)
    p.join(h.CHANNEL)
    p.privmsg(h.CHANNEL, "Ciao! I am a scripted user of the quibo demo.")
    # The client answers a CTCP VERSION itself; quibo reports the request in the window.
    p.ctcp(h.NICK, "VERSION")
    # A mention of our nick: quibo keeps it for /quibo mynick.
    p.privmsg(h.CHANNEL, f"{h.NICK}, did my CTCP VERSION reach you?")
    # A private message from a stranger: quibo's guard asks whether to accept it.
    p.privmsg(h.NICK, "Hello in private from the demo's scripted user.")
    # Three more users from one address: quibo reports them as clones ("Clone: ...") in the channel.
    clones = [h.Peer(port, nick, source="127.0.0.2") for nick in ("clone_ann", "clone_bea", "clone_cid")]
    for clone in clones:
        clone.join(h.CHANNEL)
    while True:
        try:
            p.wait_line(lambda line: False, timeout=600, what="nothing")
        except TimeoutError:
            continue
        except OSError:  # the server closed the connection
            return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("action", choices=["start", "stop", "status", "cmd", "screenshot", "peer"])
    parser.add_argument("text", nargs="?")
    parser.add_argument("--dir")
    parser.add_argument("--port", type=int)
    args = parser.parse_args()
    if args.action == "peer":
        return peer(args.port)
    directory = os.path.abspath(args.dir)
    return {
        "start": lambda: start(directory),
        "stop": lambda: stop(directory),
        "status": lambda: status(directory),
        "cmd": lambda: command(directory, args.text or ""),
        "screenshot": lambda: take_screenshot(directory),
    }[args.action]()


if __name__ == "__main__":
    sys.exit(main())
