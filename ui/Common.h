#pragma once
// The window routines of the common helpers.

class QWidget;

// Shows the window and brings it to the front; a minimised window is restored first.
void ShowAndRestore(QWidget* window);
