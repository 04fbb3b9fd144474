# Shared by the scripts in this folder: paths and the build step. Source it, don't run it.

QUIBO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# The build folder the scripts use; QUIBO_BUILD_DIR points them at another one.
QUIBO_BUILD=${QUIBO_BUILD_DIR:-$QUIBO_ROOT/build}

say() { printf '==> %s\n' "$*"; }
die() { printf 'error: %s\n' "$*" >&2; exit 1; }

# Configures the build folder when it has never been configured, then brings quibo.so
# (and zemplaysound, once the project has it) up to date. Make skips what is current.
quibo_build() {
    if [ ! -f "$QUIBO_BUILD/CMakeCache.txt" ]; then
        say "configuring $QUIBO_BUILD"
        cmake -S "$QUIBO_ROOT" -B "$QUIBO_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    fi
    say "building quibo.so in $QUIBO_BUILD"
    cmake --build "$QUIBO_BUILD" -j2 --target quibo
    local targets
    targets=$(cmake --build "$QUIBO_BUILD" --target help)
    if grep -qw zemplaysound <<<"$targets"; then
        cmake --build "$QUIBO_BUILD" -j2 --target zemplaysound
    fi
}

quibo_plugin() { printf '%s\n' "$QUIBO_BUILD/plugin/quibo.so"; }

# A built companion program (zemplaysound, zemregexp, pastewindow), or nothing when it is not built.
quibo_tool() {
    find "$QUIBO_BUILD/tools" -name "$1" -type f -perm -u+x 2>/dev/null | head -n 1
}
quibo_playsound() { quibo_tool zemplaysound; }
