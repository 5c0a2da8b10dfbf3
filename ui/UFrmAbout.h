#pragma once
// The about box: the program's name and version, the system it belongs to and where to
// ask for technical support.

#include "platform/AnsiString.h"

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;
class QWidget;

// The bank's address for technical support, the last line of the about box.
inline constexpr char SupportEMail[] = "support@velton-bank.ru";

// The text of the about box, one line per item.
AnsiString AboutText();

class TFrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TFrmAbout(QWidget* parent = nullptr);

    // The window is taller, showing a second separator and the line below it, when Ctrl
    // is held while it opens.
    static constexpr int ShortHeight = 181;
    static constexpr int TallHeight = 256;
    void SetTall(bool tall);

    QWidget* PnlLogo;
    QLabel* LblAbout;
    QFrame* Bevel1;
    QPushButton* BtnClose;
    QFrame* Bevel2;
    QLabel* LblStuff;

protected:
    void showEvent(QShowEvent* event) override;
};

extern TFrmAbout* FrmAbout;
