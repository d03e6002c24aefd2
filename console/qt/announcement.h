// SPDX-License-Identifier: MIT
// A label whose new texts screen readers announce as they come. A label is
// otherwise heard only when a reader is asked to read it: readers speak the
// changes of the focused control alone, and a label never has the focus.
// Exposed as a notification instead, it is spoken each time it is shown
// again, whatever has the focus.
#pragma once

class QLabel;

namespace kavrelo::console::qt {

// Exposes label as a notification whose name is what it shows; the label
// that names it (its buddy's) stays its label. To be called before the label
// is given its first text: the toolkit keeps the account it first makes of a
// control, and a change of the control makes one.
void make_announcement(QLabel& label);

// Tells screen readers that the announcement shows a new text, even one
// that is the same as before.
void announce(QLabel& label);

}  // namespace kavrelo::console::qt
