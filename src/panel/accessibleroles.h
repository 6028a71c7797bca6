#pragma once

namespace tarvik {

// Gives assistive technology the right role for the panel's own widgets, which Qt
// cannot guess from their base classes: lamps and captions (Indicator), and the setup
// dialog and help viewer, which are plain top-level widgets rather than QDialogs.
// Names and descriptions stay the widgets' own. Safe to call more than once.
void installAccessibleRoles();

} // namespace tarvik
