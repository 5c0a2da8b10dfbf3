#pragma once
// The main multiple-document window.

#include <QMainWindow>

class QMdiArea;

class TFrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TFrmMain(QWidget* parent = nullptr);

    QMdiArea* MdiArea() const { return FMdiArea; }

private:
    QMdiArea* FMdiArea;
};

extern TFrmMain* FrmMain;
