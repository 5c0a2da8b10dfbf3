#include "ui/MainMenuBar.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QProxyStyle>
#include <QShortcut>
#include <QStyleOptionMenuItem>

namespace {

// Qt moves through a menu bar from the keyboard (a highlighted title, the arrows, Escape
// giving the focus back) only where the style asks for it, and the styles of the Linux
// desktops do not. The bar's own style asks for it; everything else is drawn as the
// application's style draws it.
class TKeyboardMenuBarStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_MenuBar_AltKeyNavigation)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

    // A style may mark only the title whose menu is open; the title chosen from the
    // keyboard (the bar has the focus) is drawn as such a one.
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        const auto* title = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (element == CE_MenuBarItem && title && (title->state & State_Selected) && widget && widget->hasFocus()) {
            QStyleOptionMenuItem chosen(*title);
            chosen.state |= State_Sunken;
            QProxyStyle::drawControl(element, &chosen, painter, widget);
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

}  // namespace

TMainMenuBar::TMainMenuBar(QWidget* parent) : QMenuBar(parent)
{
    auto* style = new TKeyboardMenuBarStyle;
    style->setParent(this);
    setStyle(style);
    auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), parent);
    f10->setContext(Qt::WindowShortcut);
    connect(f10, &QShortcut::activated, this, &TMainMenuBar::ToggleKeyboardMode);
}

void TMainMenuBar::ToggleKeyboardMode()
{
    // The bar enters its keyboard mode, and leaves it, when it sees Alt pressed and
    // released with nothing in between: F10 takes the same road, with the events that a
    // press and release of Alt bring.
    QKeyEvent altOverride(QEvent::ShortcutOverride, Qt::Key_Alt, Qt::AltModifier);
    QCoreApplication::sendEvent(window(), &altOverride);
    QKeyEvent altPressed(QEvent::KeyPress, Qt::Key_Alt, Qt::AltModifier);
    QCoreApplication::sendEvent(window(), &altPressed);
    QKeyEvent altReleased(QEvent::KeyRelease, Qt::Key_Alt, Qt::NoModifier);
    QCoreApplication::sendEvent(window(), &altReleased);
}
