#include "shell/widgets/ControlKinds.h"

#include "shell/widgets/ControlFactory.h"

#include <QPainter>

namespace orvik {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(true);
}

void PictureBox::clearDrawing()
{
    printed_.clear();
    update();
}

void PictureBox::print(const QString& text, QPoint position, uint32_t colour)
{
    printed_.append({text, position, colour});
    update();
}

void PictureBox::paintEvent(QPaintEvent*)
{
    if (printed_.isEmpty())
        return;
    QPainter painter(this);
    painter.setFont(font());
    const int ascent = painter.fontMetrics().ascent();
    for (const PrintedText& item : printed_) {
        painter.setPen(qColour(item.colour));
        painter.drawText(item.position + QPoint(0, ascent), item.text);
    }
}

ImageBox::ImageBox(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(false);
}

ShapeWidget::ShapeWidget(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(false);
}

void ShapeWidget::setFillColour(uint32_t colour)
{
    fill_ = colour;
    update();
}

void ShapeWidget::setBorderColour(uint32_t colour)
{
    border_ = colour;
    update();
}

void ShapeWidget::setFilled(bool filled)
{
    filled_ = filled;
    update();
}

void ShapeWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect box = rect().adjusted(0, 0, -1, -1);
    if (filled_)
        painter.fillRect(rect(), qColour(fill_));
    painter.setPen(qColour(border_));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(box);
}

MarkerLine::MarkerLine(QWidget* parent, int32_t y1Twips) : QWidget(parent), y1_(y1Twips) {}

void MarkerLine::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawLine(0, 0, width(), 0);
}

} // namespace orvik
