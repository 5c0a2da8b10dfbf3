#include "ui/Images.h"

#include <QCoreApplication>
#include <QString>

#include <array>
#include <utility>

// The resources of a static library are registered by hand: nothing else refers to them,
// and the linker would leave them out.
static void RegisterImages()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(Images);
        return true;
    }();
    (void)registered;
}

namespace {

const char* FileOf(TToolImage which)
{
    switch (which) {
    case TToolImage::New: return "new";
    case TToolImage::Open: return "open";
    case TToolImage::Save: return "save";
    case TToolImage::Edit: return "edit";
    case TToolImage::Add: return "add";
    case TToolImage::Delete: return "delete";
    case TToolImage::Find: return "find";
    case TToolImage::Select: return "select";
    case TToolImage::SelectAll: return "select-all";
    case TToolImage::Export: return "export";
    case TToolImage::NextError: return "next-error";
    case TToolImage::SaveErrors: return "save-errors";
    case TToolImage::PrintErrors: return "print-errors";
    case TToolImage::Print: return "print";
    case TToolImage::View: return "view";
    case TToolImage::Receive: return "receive";
    case TToolImage::Process: return "process";
    case TToolImage::Resend: return "resend";
    case TToolImage::ListType: return "list-type";
    case TToolImage::Profile: return "profile";
    case TToolImage::Key: return "key";
    }
    return "";
}

QIcon ImageNamed(const char* name)
{
    RegisterImages();
    return QIcon(QStringLiteral(":/images/") + QString::fromLatin1(name) + QStringLiteral(".svg"));
}

}  // namespace

QIcon AppIcon()
{
    return ImageNamed("app");
}

QIcon ToolImage(TToolImage which)
{
    // Each picture is read once per application and shared by every toolbar: an icon
    // read anew parses its drawing again, and draws it again in every window instead of
    // taking the pixmap Qt keeps of it. The icons go with the application.
    using TIcons = std::array<QIcon, static_cast<size_t>(TToolImage::Last) + 1>;
    static TIcons* icons = nullptr;
    if (!icons) {
        icons = new TIcons;
        qAddPostRoutine([] { delete std::exchange(icons, nullptr); });
    }
    QIcon& icon = (*icons)[static_cast<size_t>(which)];
    if (icon.isNull())
        icon = ImageNamed(FileOf(which));
    return icon;
}
