# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# Sourced by the grading tests: a listener on a TCP and a UDP port of this
# machine, which a snooping submission is told to reach. Each contact is a
# line of the file "reached" in the current folder; the port is in $port
# once both are open, and the listener ends with the test.
mkfifo port-said
python3 - <<'PY' &
import select, socket
tcp = socket.socket(); tcp.bind(("127.0.0.1", 0)); tcp.listen()
udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); udp.bind(("127.0.0.1", tcp.getsockname()[1]))
open("port-said", "w").write(f"{tcp.getsockname()[1]}\n")
with open("reached", "w") as reached:
    while True:
        for ready in select.select([tcp, udp], [], [])[0]:
            reached.write("tcp\n" if ready is tcp else "udp\n"); reached.flush()
            (tcp.accept()[0].close() if ready is tcp else udp.recv(64))
PY
listener=$!
trap 'kill $listener 2>/dev/null' EXIT
read -r port <port-said
export port
