#!/usr/bin/env bash
# The Ansible collection run by the real ansible-playbook against two simulated devices on
# loopback and a port nothing listens on: check mode with diff reports the change and writes
# nothing, the real run writes and keeps a snapshot, a second run changes nothing, and the dead
# device fails alone. Skipped (status 77) only where ansible-playbook is not installed.
# usage: playbook_test.sh VESKATOR_CLI COMMUNICATOR_SIM COLLECTIONS_DIR
set -euo pipefail
cli="$1" sim="$2" collections="$3"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

if ! command -v ansible-playbook >/dev/null; then
    echo "SKIP: ansible-playbook is not installed (scripts/test installs ansible-core)"
    exit 77
fi

work="$(mktemp -d)"
sim_pid=""
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

"$sim" --quiet --devices 2 >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 100); do
    [ "$(wc -l <"$work/sim.out")" -ge 2 ] && break
    sleep 0.05
done
mapfile -t ports < <(awk '/^listening/ {print $3}' "$work/sim.out")
[ "${#ports[@]}" -eq 2 ] || fail "the simulator did not start: $(cat "$work/sim.out")"
# A port that was free a moment ago and that nothing listens on.
dead="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
live="[\"127.0.0.1:${ports[0]}\", \"127.0.0.1:${ports[1]}\"]"

export ANSIBLE_COLLECTIONS_PATH="$collections" ANSIBLE_STDOUT_CALLBACK=json
export ANSIBLE_LOCAL_TEMP="$work/tmp" ANSIBLE_HOME="$work/ansible" ANSIBLE_NOCOLOR=1
export ANSIBLE_DEPRECATION_WARNINGS=0 ANSIBLE_LOCALHOST_WARNING=0
mkdir -p "$work/cli"
# play NAME DEVICES [ansible-playbook options]: the run's JSON in $work/NAME.json
play() {
    local name="$1" devices="$2"
    shift 2
    local rc=0
    ansible-playbook -i localhost, "$here/fleet.yml" "$@" \
        -e "{\"devices\": $devices, \"cli\": \"$cli\", \"work\": \"$work\"}" \
        >"$work/$name.json" 2>"$work/$name.err" || rc=$?
    echo "$rc"
}
mail_server() {
    "$cli" --json get "127.0.0.1:$1" options.mail_server |
        python3 -c 'import json, sys; print(json.load(sys.stdin)["results"][0]["settings"]["options.mail_server"])'
}
snapshots() { find "$work/cli" -name '*.bin' -path '*snapshots*' | wc -l; }
# expect NAME PYTHON-ASSERTIONS: run against the run's tasks (t[0] settings, t[1] backup, t[2] facts)
expect() {
    python3 - "$work/$1.json" "$2" <<'PY' || fail "$1: $(cat "$work/$1.err")"
import json, sys
run = json.load(open(sys.argv[1]))
t = [task["hosts"]["localhost"] for task in run["plays"][0]["tasks"]]
items = t[0].get("results", [])
try:
    exec(sys.argv[2])
except AssertionError as error:
    print("assertion failed:", error, json.dumps(t, indent=1)[:6000], file=sys.stderr)
    sys.exit(1)
PY
}

before="$(mail_server "${ports[0]}")"
[ "$before" != smtp.fleet.example ] || fail "the simulator holds the new mail server already"

rc="$(play check "$live" --check --diff)"
[ "$rc" = 0 ] || fail "check run ended with $rc: $(cat "$work/check.err")"
expect check '
assert len(items) == 2 and all(i["changed"] and not i.get("failed") for i in items), "changed"
diff = items[0]["diff"]
assert "options.mail_server = smtp.fleet.example" in diff["after"], diff
assert "options.mail_server = " in diff["before"] and "smtp.fleet.example" not in diff["before"], diff
assert "snapshot" not in items[0], "a snapshot in check mode"
assert t[1]["changed"], "the backup would change"
'
[ "$(mail_server "${ports[0]}")" = "$before" ] || fail "check mode changed the device"
[ "$(snapshots)" = 0 ] || fail "check mode took a snapshot"
[ ! -e "$work/first.bin" ] || fail "check mode wrote the backup"

rc="$(play real "$live")"
[ "$rc" = 0 ] || fail "real run ended with $rc: $(cat "$work/real.err")"
expect real '
assert all(i["changed"] for i in items), "changed"
assert all(i["snapshot"].startswith("program/snapshots/") for i in items), items[0]
changed = {s["key"]: s["after"] for s in items[0]["settings"] if s["changed"]}
assert changed["options.mail_server"] == "smtp.fleet.example" and changed["main.email"] == "on", changed
assert t[1]["changed"], "the backup changed"
assert t[2]["settings"] == {"options.mail_server": "smtp.fleet.example", "main.email": "on"}, t[2]
assert t[2]["ansible_facts"]["communicator_settings"]["main.email"] == "on", t[2]
'
for port in "${ports[@]}"; do
    [ "$(mail_server "$port")" = smtp.fleet.example ] || fail "127.0.0.1:$port was not written"
done
[ "$(snapshots)" = 2 ] || fail "$(snapshots) snapshots after the real run, not 2"
[ "$(stat -c %s "$work/first.bin")" = 16384 ] || fail "the backup holds $(stat -c %s "$work/first.bin") bytes"

rc="$(play again "$live")"
[ "$rc" = 0 ] || fail "second run ended with $rc: $(cat "$work/again.err")"
expect again '
assert not any(i["changed"] for i in items), "a second run changed a device"
assert not t[1]["changed"], "the backup changed again"
'
[ "$(snapshots)" = 2 ] || fail "the second run took a snapshot"

rc="$(play dead "[\"127.0.0.1:${ports[0]}\", \"127.0.0.1:$dead\", \"127.0.0.1:${ports[1]}\"]")"
[ "$rc" != 0 ] || fail "a run with a dead device succeeded"
expect dead '
assert [bool(i.get("failed")) for i in items] == [False, True, False], [i.get("msg") for i in items]
assert not items[0]["changed"] and not items[2]["changed"], "the live devices changed"
assert "connect" in items[1]["msg"], items[1]["msg"]
'
echo "ok: check, real, second and dead-device runs"
