#pragma once
// The main window's menu bar, worked from the keyboard as the program's users expect: F10,
// or Alt pressed and released alone, highlights the first menu title; the arrows move
// between the titles and into a menu, Enter runs an item, Escape leaves the bar and gives
// the focus back to where it was.

#include <QMenuBar>

class TMainMenuBar : public QMenuBar {
public:
    // F10 works while the focus is anywhere in the parent's window.
    explicit TMainMenuBar(QWidget* parent);

    // Highlights the first title; when the bar is already in use from the keyboard, leaves
    // it and gives the focus back.
    void ToggleKeyboardMode();
};
