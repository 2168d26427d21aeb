#pragma once

// Widget kinds of the main window that Qt has no direct equivalent for. Each paints its
// own background so the colour scheme reaches it through the palette alone.

#include <QColor>
#include <QList>
#include <QPoint>
#include <QString>
#include <QWidget>

namespace orvik {

// A picture box: a drawing surface with a background colour that keeps what is printed on
// it (persistent drawing) until it is cleared.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    struct PrintedText {
        QString text;
        QPoint position; // pixels, top-left of the text
        uint32_t colour; // design colour
    };

    explicit PictureBox(QWidget* parent = nullptr);

    void clearDrawing();
    void print(const QString& text, QPoint position, uint32_t colour);
    const QList<PrintedText>& printedTexts() const { return printed_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QList<PrintedText> printed_;
};

// An image area: transparent to the eye, used as a pointer target over other controls.
class ImageBox : public QWidget {
    Q_OBJECT
public:
    explicit ImageBox(QWidget* parent = nullptr);
};

// A rectangle shape with fill, border and background colours (design colours).
class ShapeWidget : public QWidget {
    Q_OBJECT
public:
    explicit ShapeWidget(QWidget* parent = nullptr);

    void setFillColour(uint32_t colour);
    void setBorderColour(uint32_t colour);
    void setFilled(bool filled);
    uint32_t fillColour() const { return fill_; }
    uint32_t borderColour() const { return border_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    uint32_t fill_ = 0;
    uint32_t border_ = 0;
    bool filled_ = true;
};

// A horizontal marker line; only its vertical position (Y1, twips) matters.
class MarkerLine : public QWidget {
    Q_OBJECT
public:
    MarkerLine(QWidget* parent, int32_t y1Twips);
    int32_t y1() const { return y1_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int32_t y1_;
};

} // namespace orvik
