#pragma once

class QCoreApplication;

namespace kardelo {

// Qt's own texts (the buttons of standard dialogs, the context menus of edit fields) in German,
// as every other text of the windows is. False when Qt's German translation is not installed.
bool installGermanQtTexts(QCoreApplication& application);

// The window layouts name Windows faces (Tahoma, Small Fonts) and place their texts by those
// faces' widths. Where the system has no face of such a name, fontconfig would substitute a
// wider one and the texts would be cut; this makes the metric-compatible faces that Debian's
// fonts-wine installs outside fontconfig's folders available to this program. Safe to call
// again; call it before the first window that names such a face is laid out.
void ensureLayoutFonts();

} // namespace kardelo
