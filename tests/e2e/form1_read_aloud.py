# SPDX-License-Identifier: MIT
"""Form1 as a screen reader reads it, through the accessibility bus (AT-SPI).

Run by form1_accessibility.sh inside a private D-Bus session, with Kavrelo1
started there. Finds the program, checks the role and name of each of its ten
controls, the relations between the labels and what they name, then types an
expression into Text1 and presses "Probar Parser SLR" through the bus, as a
screen reader's user would, and checks that Label3 carries the answer; then
presses "tokeniza2 con argumento" and reads the message box as an alert.
Exits with 0 when everything holds, 1 otherwise, and says why.
"""
import sys
import time

import pyatspi

EXPECTED = [  # role, name, within the frame
    ("push button", "prueba de la pila", False),
    ("push button", "tokeniza sin argumento", False),
    ("push button", "Salir", False),
    ("push button", "tokeniza2 con argumento", False),
    ("panel", "Parser SLR", False),
    ("push button", "Probar Parser SLR", True),
    ("label", "Cadena que se envía a Parser:", True),
    ("text", "Cadena que se envía a Parser:", True),
    ("label", "Resultado:", True),
    ("label", "Resultado:", True),
]
TITLE = "Comandos para invocar funciones en DLL"
failures = []


def expect(condition, what):
    if not condition:
        failures.append(what)


def within(seconds, find):
    """Asks again until find() answers; the limit only turns a program that
    never gets there into a failure."""
    deadline = time.monotonic() + seconds
    while True:
        found = find()
        if found or time.monotonic() > deadline:
            return found
        time.sleep(0.05)


def window():
    for application in pyatspi.Registry.getDesktop(0):
        if application is not None and application.name == "Kavrelo1":
            for child in application:
                if child is not None and child.name == TITLE:
                    return child
    return None


def controls(node, inside_frame=False):
    for child in node:
        if child is None:
            continue
        yield child, inside_frame
        yield from controls(child, inside_frame or child.getRoleName() == "panel")


def targets(node, relation_type):
    return [relation.getTarget(i)
            for relation in node.getRelationSet() if relation.getRelationType() == relation_type
            for i in range(relation.getNTargets())]


form = within(30, window)
if form is None:
    print("FAIL: Kavrelo1's window never appeared on the accessibility bus", file=sys.stderr)
    sys.exit(1)

seen = sorted((c.getRoleName(), c.name, inside) for c, inside in controls(form))
expect(seen == sorted(EXPECTED), f"the controls read are {seen}, expected {sorted(EXPECTED)}")

by_role = {}
for control, _ in controls(form):
    by_role.setdefault((control.getRoleName(), control.name), []).append(control)
text1 = by_role.get(("text", "Cadena que se envía a Parser:"), [None])[0]
label1 = by_role.get(("label", "Cadena que se envía a Parser:"), [None])[0]
results = by_role.get(("label", "Resultado:"), [])
# Label2 names Label3: of the two, the one labelled by the other is Label3.
label3 = next((r for r in results if any(t.name == "Resultado:" for t in targets(r, pyatspi.RELATION_LABELLED_BY))),
              None)
button = by_role.get(("push button", "Probar Parser SLR"), [None])[0]

if text1 is not None and label1 is not None:
    expect(any(t.name == label1.name and t.getRoleName() == "label"
               for t in targets(text1, pyatspi.RELATION_LABELLED_BY)), "Text1 is not labelled by Label1")
    expect(any(t.getRoleName() == "text" for t in targets(label1, pyatspi.RELATION_LABEL_FOR)),
           "Label1 does not label Text1")
expect(label3 is not None, "no label named Resultado: is labelled by Label2")

if text1 is not None and button is not None and label3 is not None:
    expect(label3.description == "", f"Label3 reads {label3.description!r} before any answer")
    text1.queryEditableText().setTextContents("(1+2)*x")
    button.queryAction().doAction(0)
    answer = within(30, lambda: label3.description)
    expect(answer == "Cadena aceptada", f"Label3 reads {answer!r} after the parse, expected 'Cadena aceptada'")

# A message box is read as an alert titled Kavrelo1, with its text and its one button.
def alert():
    for application in pyatspi.Registry.getDesktop(0):
        if application is not None and application.name == "Kavrelo1":
            # A window that is closing leaves an empty place among them.
            for child in application:
                if child is not None and child.getRoleName() in ("alert", "dialog") and child.name == "Kavrelo1":
                    return child
    return None


tokenizer = by_role.get(("push button", "tokeniza2 con argumento"), [None])[0]
if tokenizer is not None:
    tokenizer.queryAction().doAction(0)
    box = within(30, alert)
    expect(box is not None and box.getRoleName() == "alert",
           f"the tokenizer's answer is read as {box.getRoleName() if box else 'nothing'}, expected an alert")
    if box is not None:
        inside = [(c.getRoleName(), c.name) for c, _ in controls(box)]
        expect(any(role == "label" and name.startswith("23 componentes l\u00e9xicos: NUM(01)") for role, name in inside),
               f"the alert does not read the tokenizer's answer: {inside}")
        accept = [c for c, _ in controls(box) if c.getRoleName() == "push button"]
        expect([c.name for c in accept] == ["Aceptar"], f"the alert's buttons are {[c.name for c in accept]}")
        if accept:
            accept[0].queryAction().doAction(0)
            expect(within(30, lambda: alert() is None), "the alert did not close with Aceptar")

for failure in failures:
    print("FAIL:", failure, file=sys.stderr)
if not failures:
    print("PASS: ten controls, their names and roles, the labels' relations, the answer and an alert read aloud")
sys.exit(1 if failures else 0)
