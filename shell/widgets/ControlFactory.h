#pragma once

// Creation of the main window's controls at design geometry (twips) with design names, and
// the design-colour accessors every panel uses. Geometry and colour conversions happen here
// and nowhere else.

#include <QColor>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>

class QCheckBox;
class QComboBox;
class QDial;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSlider;
class QTimer;
class QWidget;

namespace orvik {

class ImageBox;
class MarkerLine;
class PictureBox;
class ShapeWidget;

struct TwipsRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// Design colour (red in the low byte) to QColor and back.
QColor qColour(uint32_t designColour);
uint32_t designColour(const QColor& colour);

// "<array>_<index>", the object name of one element of a control array.
QString controlName(const QString& arrayName, int index);
// Number of consecutive elements "<array>_0", "<array>_1", ... below root.
int controlCount(const QWidget* root, const QString& arrayName);
// Element index of a control array below root, or nullptr.
QWidget* controlElement(const QWidget* root, const QString& arrayName, int index);

// Named children of one root, each looked up once: a search of the main window's few
// hundred controls on every block or frame costs more than the work it serves.
class ChildCache {
public:
    explicit ChildCache(const QObject* root) : root_(root) {}
    template <typename T>
    T* find(const QString& name) const
    {
        QPointer<QObject>& slot = cache_[name];
        if (!qobject_cast<T*>(slot.data()))
            slot = root_->findChild<T*>(name);
        return qobject_cast<T*>(slot.data());
    }

private:
    const QObject* root_;
    mutable QHash<QString, QPointer<QObject>> cache_;
};

void placeTwips(QWidget* control, TwipsRect rect);
TwipsRect twipsGeometry(const QWidget* control);

// Text and background colours of a control, through its palette (design colours).
void setTextColour(QWidget* control, uint32_t colour);
void setBackColour(QWidget* control, uint32_t colour);
uint32_t textColour(const QWidget* control);
uint32_t backColour(const QWidget* control);

// Controls. A non-negative index makes the control element index of the array name.
QGroupBox* addFrame(QWidget* parent, const QString& name, const QString& caption, TwipsRect rect);
QLabel* addLabel(QWidget* parent, const QString& name, int index, const QString& caption,
                 TwipsRect rect, const QString& toolTip = {});
QRadioButton* addOption(QWidget* parent, const QString& name, int index, const QString& caption,
                        TwipsRect rect, const QString& toolTip = {});
QCheckBox* addCheck(QWidget* parent, const QString& name, int index, const QString& caption,
                    TwipsRect rect, const QString& toolTip = {});
QPushButton* addCommand(QWidget* parent, const QString& name, int index, const QString& caption,
                        TwipsRect rect, const QString& toolTip = {});
QSlider* addSlider(QWidget* parent, const QString& name, int index, TwipsRect rect, int minimum,
                   int maximum, bool vertical, const QString& toolTip = {});
QDial* addDial(QWidget* parent, const QString& name, TwipsRect rect, int minimum, int maximum);
QComboBox* addCombo(QWidget* parent, const QString& name, TwipsRect rect, const QString& toolTip = {});
QListWidget* addList(QWidget* parent, const QString& name, TwipsRect rect);
QLineEdit* addText(QWidget* parent, const QString& name, const QString& text, TwipsRect rect,
                   const QString& toolTip = {});
PictureBox* addPicture(QWidget* parent, const QString& name, int index, TwipsRect rect);
ImageBox* addImage(QWidget* parent, const QString& name, TwipsRect rect);
ShapeWidget* addShape(QWidget* parent, const QString& name, int index, TwipsRect rect,
                      uint32_t fillColour, uint32_t borderColour);
// A marker line across the given width, Y1 in twips from the top of parent.
MarkerLine* addMarkerLine(QWidget* parent, const QString& name, int32_t y1, int32_t widthTwips);
// The window's timer of that name, made when it has none yet: a controller built on a
// window whose panels made no timers still gets its own.
QTimer* addTimer(QWidget* window, const QString& name);

} // namespace orvik
