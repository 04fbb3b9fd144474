#!/usr/bin/env bash
# The demo: quibo inside a real HexChat, connected to a local IRC server (ngircd on
# 127.0.0.1), in channel #quibo, with one scripted user saying hello.
#
#   scripts/demo.sh [start]       install missing packages, build, start it all, say where to look
#   scripts/demo.sh stop          stop every process the demo started, by the PIDs it wrote down
#   scripts/demo.sh status        which of them still run
#   scripts/demo.sh cmd "QUIBO"   type a command into the demo's HexChat (no slash needed)
#   scripts/demo.sh screenshot    take a fresh screenshot (when it runs under its own Xvfb)
#
# Without $DISPLAY it runs under Xvfb. Everything lives in $QUIBO_DEMO_DIR
# (default /tmp/quibo-demo-<uid>), with a HOME of its own: your own HexChat setup is
# not touched. As root, HexChat runs as the user nobody (HexChat will not run as root).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

DEMO_DIR=${QUIBO_DEMO_DIR:-/tmp/quibo-demo-$(id -u)}
action=${1:-start}
[ $# -gt 0 ] && shift

demo_py() { python3 "$QUIBO_ROOT/scripts/demo.py" "$@" --dir "$DEMO_DIR"; }

case $action in
start)
    if [ -f "$DEMO_DIR/demo.json" ] && demo_py status >/dev/null 2>&1; then
        demo_py start
        exit 0
    fi
    bash "$QUIBO_ROOT/scripts/install-deps.sh"
    quibo_build
    # A fresh folder each time; a stale one is only removed when it is ours (as root,
    # the demo hands its folder to nobody).
    if [ -e "$DEMO_DIR" ]; then
        [ -O "$DEMO_DIR" ] || [ "$(id -u)" -eq 0 ] || die "$DEMO_DIR belongs to someone else"
        demo_py stop >/dev/null
        rm -rf "$DEMO_DIR"
    fi
    mkdir -p "$DEMO_DIR/home"
    say "installing quibo into the demo's HOME ($DEMO_DIR/home)"
    HOME=$DEMO_DIR/home XDG_CONFIG_HOME=$DEMO_DIR/home/.config bash "$QUIBO_ROOT/scripts/install.sh" >/dev/null
    say "starting ngircd, HexChat and quibo"
    demo_py start
    ;;
stop | status | screenshot)
    demo_py "$action"
    ;;
cmd)
    [ $# -ge 1 ] || die 'usage: scripts/demo.sh cmd "COMMAND"'
    demo_py cmd "$*"
    ;;
*)
    die "usage: scripts/demo.sh [start|stop|status|cmd COMMAND|screenshot]"
    ;;
esac
