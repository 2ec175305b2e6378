#!/bin/sh
# The account password and the REST API key live in a real keyring (GNOME
# Keyring under a D-Bus session of the test's own), move there from the
# preference file, and stay in the file, with one notice, when no keyring
# answers. The REST sign-in token does the same against the REST stand-in.
# Usage: keyring.sh LUMBRA_CLI
set -eu
. "$(dirname "$0")/need-tools.sh"
need dbus-run-session gnome-keyring-daemon secret-tool python3
cli=$1
root=$(mktemp -d)
emulator_pid=
trap '[ -z "$emulator_pid" ] || kill "$emulator_pid"; rm -rf "$root"' EXIT
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

# 4. The REST sign-in token: in the keyring when one answers, never in the
# cache file then; in the file (0600) when none does; moved from the file to
# the keyring once one answers again. Each reuse saves a sign-in.
catalog="$root/catalog.json"
echo '{"users": {"alice": "secret"}, "movies": []}' >"$catalog"
python3 "$(dirname "$0")/../service-emulator/rest_emulator.py" --catalog "$catalog" >"$root/emulator" &
emulator_pid=$!
for _ in $(seq 100); do grep -q '^listening ' "$root/emulator" && break; sleep 0.1; done
server=$(sed -n 's/^listening //p' "$root/emulator")
[ -n "$server" ] || fail "the REST stand-in did not start"
mkdir "$root/videos"
head -c 200000 /dev/zero >"$root/videos/Film.mkv"
# Split on purpose: mktemp's path holds no spaces.
get_args="get --provider rest --server $server --api-key k --user alice --password secret --lang en"
get_args="$get_args -- $root/videos"
logins() { python3 -c 'import json,sys,urllib.request
calls = json.load(urllib.request.urlopen(sys.argv[1] + "/_calls"))
print(sum(1 for c in calls if c.get("endpoint") == "login"))' "${server%/api/v1}"; }
tokens="$XDG_CACHE_HOME/lumbra/rest-tokens.json"
token_name="RestToken alice@$server"
file_holds_token() { [ -f "$tokens" ] && grep -q '"alice@' "$tokens"; }

in_session "$cli" $get_args >/dev/null || fail "get with a keyring failed: $(cat "$root/stderr")"
in_session "$cli" $get_args >/dev/null || fail "the second get with a keyring failed: $(cat "$root/stderr")"
[ "$(logins)" = 1 ] || fail "the token in the keyring was not reused: $(logins) sign-ins"
stored "$token_name" | grep -q '"token":' || fail "the keyring holds no token"
if file_holds_token; then fail "the token went to the file although a keyring answered"; fi

no_keyring $get_args >/dev/null || fail "get without a keyring failed: $(cat "$root/stderr")"
[ "$(logins)" = 2 ] || fail "without a keyring there must be one sign-in: $(logins) sign-ins"
file_holds_token || fail "without a keyring the token must go to the file"
[ "$(stat -c %a "$tokens")" = 600 ] || fail "the token file is not 0600"
in_file=$(python3 -c 'import json,sys; print(next(iter(json.load(open(sys.argv[1])).values())))' "$tokens")

in_session "$cli" $get_args >/dev/null || fail "get with the keyring back failed: $(cat "$root/stderr")"
[ "$(logins)" = 2 ] || fail "the token kept in the file was not reused: $(logins) sign-ins"
[ "$(stored "$token_name")" = "$in_file" ] || fail "the keyring does not hold the token from the file"
if file_holds_token; then fail "the token stayed in the file after moving to the keyring"; fi
echo "secrets and the sign-in token kept in the keyring and in the file as expected"
