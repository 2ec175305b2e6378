#!/bin/sh
# The account password and the REST API key live in a real keyring (GNOME
# Keyring under a D-Bus session of the test's own), move there from the
# preference file, and stay in the file, with one notice, when no keyring
# answers. Usage: keyring.sh LUMBRA_CLI
set -eu
. "$(dirname "$0")/need-tools.sh"
need dbus-run-session gnome-keyring-daemon secret-tool
cli=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
export HOME="$root" XDG_CONFIG_HOME="$root/config" XDG_DATA_HOME="$root/data" XDG_CACHE_HOME="$root/cache"
export XDG_RUNTIME_DIR="$root/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY XDG_CURRENT_DESKTOP DBUS_SESSION_BUS_ADDRESS || true
prefs="$XDG_CONFIG_HOME/Lumbra2_debug/org.lumbra.Lumbra2.plist"

# Each run has a session bus and keyring daemon of its own; the keyring's file
# under XDG_DATA_HOME, unlocked with the same password, carries over.
in_session() {
  dbus-run-session -- sh -c 'echo -n pw | gnome-keyring-daemon --unlock --components=secrets >/dev/null && exec "$@"' \
    sh "$@" 2>"$root/stderr"
}
no_keyring() {
  DBUS_SESSION_BUS_ADDRESS="unix:path=$root/no-bus" "$cli" "$@" 2>"$root/stderr"
}
stored() { in_session secret-tool lookup server Lumbra user "$1"; }
file_has() { grep -q "$1" "$prefs"; }

# 1. No keyring: the secrets go to the file, readable by its owner only, and it is said once.
no_keyring prefs --set OSUsername=bob --set OSPassword=file-pw --set RestApiKey=file-key >/dev/null
file_has file-pw && file_has file-key || fail "without a keyring the file must keep the secrets"
[ "$(stat -c %a "$prefs")" = 600 ] || fail "the preference file is not 0600"
grep -q "No keyring answered" "$root/stderr" || fail "no notice of the file fallback: $(cat "$root/stderr")"
json=$(no_keyring prefs --json)
echo "$json" | grep -q '"secretsKeptIn": "file"' || fail "prefs --json does not say the file: $json"

# 2. First start with a keyring: both move there and leave the file.
json=$(in_session "$cli" prefs --json)
echo "$json" | grep -q '"secretsKeptIn": "keyring"' || fail "prefs --json does not say the keyring: $json"
echo "$json" | grep -q '"OSPassword": "set"' || fail "the password is not set after moving: $json"
if echo "$json" | grep -q "file-pw\|file-key"; then fail "prefs --json printed a secret: $json"; fi
if file_has file-pw || file_has file-key || file_has OSPassword; then fail "the secrets are still in the file"; fi
file_has bob || fail "the user name must stay in the file"
[ "$(stored OSPassword)" = file-pw ] || fail "the keyring does not hold the moved password"
[ "$(stored RestApiKey)" = file-key ] || fail "the keyring does not hold the moved API key"

# 3. Saving with a keyring writes there only, says nothing, and an empty API key clears it.
in_session "$cli" prefs --set "OSPassword=new pw" --set RestApiKey= >/dev/null
if grep -q "No keyring answered" "$root/stderr"; then fail "a notice although the keyring answered"; fi
[ "$(stored OSPassword)" = "new pw" ] || fail "the keyring does not hold the new password"
[ -z "$(stored RestApiKey || true)" ] || fail "an empty API key must clear the stored one"
if file_has "new pw"; then fail "the new password went to the file"; fi
out=$(in_session "$cli" prefs)
echo "$out" | grep -q "^OSPassword: set$" || fail "the password from the keyring is not in effect: $out"
echo "$out" | grep -q "^RestApiKey: not set$" || fail "the cleared key is still in effect: $out"
echo "secrets kept in the keyring and in the file as expected"
