#pragma once
// Qt's own file dialog as the program shows it: sizes, dates and type names in Russian
// whatever the system's locale, a side bar that shows its places whole, a detailed list
// that opens with every column whole in a dialog wide enough for it (within the screen,
// still resizable), and a title bar with the close box only.

class QFileDialog;

// Readies a dialog built by the caller, before it is shown.
void PrepareFileDialog(QFileDialog& dialog);
