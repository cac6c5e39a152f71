#include "platform/ui/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace ui::Clipboard {

Picture GetData(int format) {
    if (format != vbCFBitmap) return {};
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasImage()) return {};
    return qvariant_cast<QImage>(data->imageData());
}

void SetData(const Picture& picture, int format) {
    if (format == vbCFBitmap) QGuiApplication::clipboard()->setImage(picture);
}

} // namespace ui::Clipboard
