#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The class's report as the teacher's browser shows it: headless Chromium,
# with no network to reach, opens the informe.html of a class already
# graded. It must show with no console message, ask the network for
# nothing, have a row per submission in its table, and a screenshot at
# 1280x800 is left beside it. The same judge must find fault with copies of
# the page that run a broken script or load an image from the network.
#   class_report_in_browser.sh REPORT WORK ID...
# ID...: the class's submissions, in the table's order.
set -euo pipefail
report=$1 work=$2
shift 2
rm -rf "$work"
mkdir -p "$work"
profiles=$(mktemp -d)
trap 'rm -rf "$profiles"' EXIT

failed() {
  echo "$*" >&2
  exit 1
}

# Chromium as root wants no sandbox; a profile of its own each time, and
# every host name resolved to nothing.
chromium_on() { # PAGE NAME ARGUMENT...
  local page=$1 name=$2
  shift 2
  chromium --headless --no-sandbox --user-data-dir="$profiles/$name" --host-resolver-rules="MAP * ~NOTFOUND" \
    --enable-logging=stderr --v=0 "$@" "file://$page" 2>"$work/$name.log"
}

# Opens PAGE and says, a line each, what is wrong with it as shown: console
# messages, requests the page made beyond its own file, a reference to any
# other file, and the table's rows when they are not the IDs.
judged() { # PAGE NAME ID...
  local page=$1 name=$2
  shift 2
  chromium_on "$page" "$name" --log-net-log="$work/$name.net.json" --dump-dom >"$work/$name.dom"
  python3 - "$work/$name" "$@" <<'PY'
import json, re, sys
from html.parser import HTMLParser

base, ids = sys.argv[1], sys.argv[2:]
for line in open(base + ".log", encoding="utf-8", errors="replace"):
    if re.search(r":CONSOLE[:(]", line):
        print("console:", line.strip())

# The browser's own background requests have no origin; the page's have
# the file's (opaque, so "null").
log = json.load(open(base + ".net.json", encoding="utf-8"))
names = {number: name for name, number in log["constants"]["logEventTypes"].items()}
for event in log["events"]:
    params = event.get("params", {})
    if names[event["type"]] == "URL_REQUEST_START_JOB" and params.get("initiator", "not an origin") != "not an origin":
        print("request:", params.get("url"))


class Page(HTMLParser):
    def __init__(self):
        super().__init__()
        self.lang, self.rows, self.path, self.cell = None, [], [], None

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "html":
            self.lang = attrs.get("lang")
        for name in ("src", "href", "srcset", "data", "action"):
            if name in attrs and not (attrs[name] or "").startswith("#"):
                print("reference:", tag, name, attrs[name])
        if "url(" in (attrs.get("style") or ""):
            print("reference: style", attrs["style"])
        self.path.append((tag, attrs.get("id")))
        if tag == "th" and attrs.get("scope") == "row" and ("table", "tabla-notas") in self.path:
            self.cell = ""

    def handle_endtag(self, tag):
        while self.path and self.path.pop()[0] != tag:
            pass
        if tag == "th" and self.cell is not None:
            self.rows.append(self.cell)
            self.cell = None

    def handle_data(self, data):
        if self.cell is not None:
            self.cell += data
        if self.path and self.path[-1][0] == "style" and re.search(r"url\(|@import", data):
            print("reference: the style sheet reaches out")


page = Page()
page.feed(open(base + ".dom", encoding="utf-8").read())
if page.lang != "es":
    print("lang:", page.lang)
if page.rows != ids:
    print("rows:", page.rows)
PY
}

faults=$(judged "$report" informe "$@")
[[ -z $faults ]] || failed "the report as the browser shows it: $faults"

# The judge can find fault: a script that fails, an image from outside.
sed 's|</body>|<script>noExiste();</script></body>|' "$report" >"$work/con-script-roto.html"
faults=$(judged "$work/con-script-roto.html" con-script-roto "$@")
grep -q '^console: .*noExiste' <<<"$faults" || failed "a broken script went unseen: $faults"
sed 's|</body>|<img src="http://ejemplo.invalid/foto.png" alt=""></body>|' "$report" >"$work/con-imagen-de-fuera.html"
faults=$(judged "$work/con-imagen-de-fuera.html" con-imagen-de-fuera "$@")
grep -q '^request: http://ejemplo.invalid/foto.png$' <<<"$faults" ||
  failed "a request to the network went unseen: $faults"

# What the teacher sees first, left beside the test's files.
chromium_on "$report" captura --window-size=1280,800 --screenshot="$work/informe.png" >/dev/null
python3 - "$work/informe.png" <<'PY' || failed "no screenshot of 1280x800 was taken"
import struct, sys
header = open(sys.argv[1], "rb").read(24)
assert header[:8] == b"\x89PNG\r\n\x1a\n" and struct.unpack(">II", header[16:24]) == (1280, 800), header
PY
