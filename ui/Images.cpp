#include "ui/Images.h"

#include <QString>

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
    return ImageNamed(FileOf(which));
}
