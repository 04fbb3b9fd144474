#!/usr/bin/env bash
# Builds quibo if needed and installs it for the current user:
#   ~/.xchat2/quiboscript/            quibo.so, zemplaysound, zemregexp, pastewindow, the language files, the sounds
#   ~/.config/hexchat/addons/quibo.so  a link to the copy above, so HexChat loads it at start
# In XChat 2, load it by hand instead: /loaddll .xchat2/quiboscript/quibo.so
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

quibo_build

data_dir=$HOME/.xchat2/quiboscript
addons=${XDG_CONFIG_HOME:-$HOME/.config}/hexchat/addons
mkdir -p "$data_dir" "$addons"

# Copy next to the target and rename over it: a running client keeps its old copy mapped.
put() {
    install -m "$1" "$2" "$data_dir/.$(basename "$2").new"
    mv -f "$data_dir/.$(basename "$2").new" "$data_dir/$(basename "$2")"
}

put 755 "$(quibo_plugin)"
for tool in zemplaysound zemregexp pastewindow; do
    program=$(quibo_tool "$tool")
    if [ -n "$program" ]; then
        put 755 "$program"
    fi
done
shopt -s nullglob
for file in "$QUIBO_ROOT"/data/*.msg "$QUIBO_ROOT"/data/*.au; do
    put 644 "$file"
done
ln -sfn "$data_dir/quibo.so" "$addons/quibo.so"

say "installed into $data_dir:"
ls -1 "$data_dir" | sed 's/^/    /'
say "HexChat loads it from $addons/quibo.so"
