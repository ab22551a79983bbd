# Shared by scripts/run and scripts/test: the Debian packages the build needs,
# installed when missing (as root, or through sudo).
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${BRENWICK_BUILD_DIR:-$repo/build}

# (librsvg2-bin renders the menu icons at build time.)
build_packages=(cmake ninja-build g++ pkg-config libsqlite3-dev libxcb1-dev libical-dev
    qt6-base-dev qt6-svg-dev libqt6svg6 qt6-multimedia-dev libsecret-1-dev librsvg2-bin)
# To run: the fonts; the reminder sound (Qt Multimedia plays through a
# PulseAudio server, or PipeWire's stand-in for one; the desktop's alert
# sound, for a file that cannot be played, comes from the sound theme through
# libcanberra); the check of the desktop entry the install writes; the
# toolkit's own dialogs in the user's language; the toolkit's Wayland
# platform, for a session without X; and the library of the desktop's secret
# store (the sync's password).
run_packages=(fonts-noto-cjk libqt6multimedia6 libcanberra0 libcanberra-pulse
    sound-theme-freedesktop desktop-file-utils qt6-translations-l10n qt6-wayland libsecret-1-0)
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
# Without either server, PulseAudio: its clients start it on demand.
installed pipewire-pulse || installed pulseaudio || run_packages+=(pulseaudio)
# A virtual desktop for the tests that need one: X server, window manager,
# tray, and the tools that drive and inspect them; the accessibility bus and
# a client of it, as a screen reader reads the program.
x11_test_packages=(xvfb openbox trayer xdotool x11-utils at-spi2-core python3-pyatspi)
# The desktop's own launcher of desktop entries, which starts the autostart
# entry in a test as a login would; a message bus of the tests' own, which
# plays the system's resume signal, a notification server and a tray's
# watcher; a Wayland compositor without a screen.
test_packages=(libglib2.0-bin dbus-daemon weston)
# The sync's tests (label server): two calendar servers, another CalDAV
# client to play the phone, a keyring for the secret store, and openssl for
# the certificates of an HTTPS server.
server_test_packages=(radicale xandikos python3-caldav python3-recurring-ical-events gnome-keyring dbus-daemon openssl)
# The Debian package (scripts/package): dpkg-shlibdeps finds the libraries it
# depends on, lintian checks it (as scripts/package-test does, label package);
# debootstrap makes the fresh Debian that `scripts/package-test --install`
# installs it in.
package_packages=(dpkg-dev lintian)
package_install_test_packages=(debootstrap)
# The format check of the committed .clang-format (scripts/check-format) and
# the linter (scripts/tidy).
lint_packages=(clang-format clang-tidy)
# The fuzz targets: clang with libFuzzer and its sanitizers (scripts/fuzz).
fuzz_packages=(clang libclang-rt-14-dev)

# lintian on the package, failing on its warnings. A package of its own, not
# Debian's: /opt is where the file hierarchy puts add-on programs, no bug of
# Debian's asks for it, and it brings no manual pages (--help is its text).
lint_package() {
    local skip=dir-or-file-in-opt,no-manual-page,binary-without-manpage,initial-upload-closes-no-bugs
    lintian --fail-on error,warning --suppress-tags "$skip" "$1"
}

ensure_packages() {
    local missing=()
    for p in "$@"; do
        installed "$p" || missing+=("$p")
    done
    ((${#missing[@]})) || return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [[ $(id -u) -eq 0 ]] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

configure_and_build() {
    cmake -S "$repo" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    cmake --build "$build_dir" --parallel "$(nproc)"
}
