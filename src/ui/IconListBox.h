#pragma once

#include <QList>
#include <QListWidget>
#include <QPixmap>

class QColor;

// A display-only list whose items carry a state picture: 0 not yet current, 1 current, 3 has
// been current. An item's text turns grey once it has been current. The user cannot change the
// current item; the owner sets it with SetCurrent.
class CIconListBox : public QListWidget
{
    Q_OBJECT

public:
    enum State
    {
        NotYet = 0,
        Current = 1,
        Done = 3,
    };
    static constexpr int StateRole = Qt::UserRole + 1;

    explicit CIconListBox(QWidget* parent = nullptr);

    // Cuts picture bitmapId into images of imageWidth (picture number = state); pixels of
    // maskColour are transparent. False when the picture is missing.
    bool SetImageList(int bitmapId, int imageWidth, int imageHeight, const QColor& maskColour);
    // Makes row current (-1: none): the item becomes Current, the one before it Done.
    void SetCurrent(int row);
    int GetState(int row) const;
    int GetCurrent() const { return m_currentRow; }
    int GetTextIndent() const { return m_textIndent; }
    const QList<QPixmap>& GetImages() const { return m_images; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QList<QPixmap> m_images;
    int m_textIndent = 2;
    int m_imageHeight = 0;
    int m_currentRow = -1;

    friend class CIconListDelegate;
};
