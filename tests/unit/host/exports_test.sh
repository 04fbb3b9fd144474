#!/bin/sh
# The plug-in must export its four entry points and nothing else: anything more
# would bind to same-named symbols of the client or of other plug-ins.
set -eu
found=$(nm -D --defined-only "$1" | awk '{print $3}' | sort | tr '\n' ' ')
expected="hexchat_plugin_deinit hexchat_plugin_init xchat_plugin_deinit xchat_plugin_init "
if [ "$found" != "$expected" ]; then
    echo "exported: $found"
    exit 1
fi
