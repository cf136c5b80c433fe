# Shared by the scripts that build the program with a person's own content:
# own_configure VAR=FILE... configures the own-content build tree in
# $OWN_BUILD from the project in $SOURCE_DIR with exactly the content named
# (every other piece the built-in one), as `make run TEXT=...` would.
: "${SOURCE_DIR:?path of the project}"
: "${OWN_BUILD:?path of the own-content build tree}"

own_configure() {
    flags=""
    for v in TEXT SONG ANI FONT FPS ICON; do
        value=""
        for a in "$@"; do
            case "$a" in "$v="*) value="${a#*=}" ;; esac
        done
        flags="$flags -DQUILLON_$v=$value"
    done
    # shellcheck disable=SC2086
    cmake -S "$SOURCE_DIR" -B "$OWN_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo $flags
}
