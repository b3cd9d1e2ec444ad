#include "ImageButton.h"

#include "ResourceImages.h"

#include <QEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <qdrawutil.h>

#include <algorithm>

CImageButton::CImageButton(QWidget* parent) : QPushButton(parent) {}

bool CImageButton::SetImage(int bitmapId, int imageCount)
{
    return SetImage(LoadBitmapResource(bitmapId), imageCount);
}

bool CImageButton::SetImage(const QImage& bitmap, int imageCount)
{
    m_imageIndex = -1;
    update();
    if (!LoadImageList(bitmap, imageCount))
        return false;
    m_imageIndex = 0;
    return true;
}

void CImageButton::SetOwnerDraw(bool on)
{
    m_ownerDraw = on;
    update();
}

// Only palette images qualify: their first pixel's colour-table entry is the mask colour.
bool CImageButton::LoadImageList(const QImage& bitmap, int imageCount)
{
    if (bitmap.isNull() || bitmap.depth() > 8 || bitmap.colorCount() == 0)
        return false;
    const int index = bitmap.pixelIndex(0, 0);
    if (index < 0 || index >= bitmap.colorCount())
        return false;
    const QRgb maskColour = bitmap.color(index);

    imageCount = std::max(1, imageCount);
    const int width = bitmap.width() / imageCount;
    if (width <= 0)
        return false;
    QImage colours = bitmap.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < colours.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(colours.scanLine(y));
        for (int x = 0; x < colours.width(); ++x)
            if ((line[x] | 0xFF000000u) == (maskColour | 0xFF000000u))
                line[x] = 0;
    }
    m_images.clear();
    for (int i = 0; i < imageCount; ++i)
        m_images.push_back(QPixmap::fromImage(colours.copy(i * width, 0, width, colours.height())));
    m_imageSize = QSize(width, colours.height());
    return true;
}

QPoint CImageButton::ImagePosition(const QRect& client, QSize image, bool pushed, bool checked)
{
    int offset = pushed ? 2 : 0;
    if (checked)
        offset += pushed ? 1 : 2;
    const int x = client.left() + (client.width() - image.width()) / 2 + offset;
    const int y = client.top() + (client.height() - image.height()) / 2 + offset;
    return {x, y};
}

void CImageButton::DrawImage(QPainter& painter, const QRect& area)
{
    if (m_imageIndex < 0 || m_imageIndex >= static_cast<int>(m_images.size()))
        return;
    painter.save();
    painter.setClipRect(area);
    painter.drawPixmap(ImagePosition(rect(), m_imageSize, isDown(), isChecked()),
                       m_images[static_cast<size_t>(m_imageIndex)]);
    if (!isEnabled()) {
        // Or-ing light grey over the picture washes it out, as a disabled picture should be.
        painter.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
        painter.setPen(Qt::NoPen);
        painter.fillRect(area.adjusted(2, 2, -2, -2), QColor(192, 192, 192));
    }
    painter.restore();
}

void CImageButton::DrawItem(QPainter& painter)
{
    painter.fillRect(rect(), palette().color(QPalette::Button));
    qDrawShadePanel(&painter, rect(), palette(), isDown(), 2);
    DrawImage(painter, rect());
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect().adjusted(4, 4, -4, -4);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void CImageButton::paintEvent(QPaintEvent* event)
{
    if (m_ownerDraw) {
        QPainter painter(this);
        DrawItem(painter);
        return;
    }
    QPushButton::paintEvent(event);
    QPainter painter(this);
    DrawImage(painter, rect().adjusted(4, 4, -4, -4));
}

void CImageButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange)
        update();
    QPushButton::changeEvent(event);
}
