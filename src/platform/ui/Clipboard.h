#pragma once
// The clipboard in the platform's formats; only the bitmap format is used.
#include "platform/ui/Picture.h"

namespace ui::Clipboard {

constexpr int vbCFBitmap = 2;

// The clipboard's picture in the given format: an empty picture when it holds none.
Picture GetData(int format = vbCFBitmap);
void SetData(const Picture& picture, int format = vbCFBitmap);

} // namespace ui::Clipboard
