#pragma once

#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <QRect>
#include <QSize>

#include <vector>

// A push button with one picture of an image list centred on it. The list is cut from one
// indexed-colour image whose first pixel gives the transparent colour.
class CImageButton : public QPushButton
{
    Q_OBJECT

public:
    explicit CImageButton(QWidget* parent = nullptr);

    // Loads the list from bitmap resource bitmapId cut into imageCount images; false (and no
    // picture) when the bitmap is missing or has more than 8 bits per pixel.
    bool SetImage(int bitmapId, int imageCount);
    // The same from an image in memory.
    bool SetImage(const QImage& bitmap, int imageCount);

    int GetImageIndex() const { return m_imageIndex; }
    QSize GetImageSize() const { return m_imageSize; }
    int GetImageCount() const { return static_cast<int>(m_images.size()); }
    // Owner-drawn buttons paint their own face and focus frame instead of the style's.
    void SetOwnerDraw(bool on);

    // Top-left corner of the picture within a client rectangle, by the button's state.
    static QPoint ImagePosition(const QRect& client, QSize image, bool pushed, bool checked);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    virtual void DrawItem(QPainter& painter);

private:
    bool LoadImageList(const QImage& bitmap, int imageCount);
    void DrawImage(QPainter& painter, const QRect& area);

    std::vector<QPixmap> m_images;
    QSize m_imageSize;
    int m_imageIndex = -1;
    bool m_ownerDraw = false;
};
