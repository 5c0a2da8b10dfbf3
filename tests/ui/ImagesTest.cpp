// The program's icon and toolbar images: each is in the program and draws.

#include "ui/Images.h"

#include "support/TestSupport.h"

#include <QImage>
#include <QPixmap>

namespace {

// Whether the icon draws anything at the size: some pixel is not transparent.
bool Draws(const QIcon& icon, int size)
{
    const QImage image = icon.pixmap(size, size).toImage();
    if (image.size() != QSize(size, size))
        return false;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            if (qAlpha(image.pixel(x, y)) != 0)
                return true;
    return false;
}

}  // namespace

TEST(Images, TheProgramIconAndEveryToolbarImageDraw)
{
    EXPECT_TRUE(Draws(AppIcon(), 16));
    EXPECT_TRUE(Draws(AppIcon(), 48));
    for (int i = 0; i <= static_cast<int>(TToolImage::Last); ++i)
        EXPECT_TRUE(Draws(ToolImage(static_cast<TToolImage>(i)), 24)) << "image " << i;
}
