#include "shell/widgets/ControlFactory.h"

#include "common/Colour.h"
#include "shell/widgets/ControlKinds.h"
#include "shell/widgets/Twips.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDial>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>

namespace orvik {

QColor qColour(uint32_t colour)
{
    const Rgb rgb = RgbFromColour(colour);
    return QColor(rgb.r, rgb.g, rgb.b);
}

uint32_t designColour(const QColor& colour)
{
    return ColourFromRgb(Rgb{static_cast<uint8_t>(colour.red()), static_cast<uint8_t>(colour.green()),
                             static_cast<uint8_t>(colour.blue())});
}

QString controlName(const QString& arrayName, int index)
{
    return arrayName + QLatin1Char('_') + QString::number(index);
}

QWidget* controlElement(const QWidget* root, const QString& arrayName, int index)
{
    return root->findChild<QWidget*>(controlName(arrayName, index));
}

int controlCount(const QWidget* root, const QString& arrayName)
{
    int count = 0;
    while (controlElement(root, arrayName, count))
        ++count;
    return count;
}

void placeTwips(QWidget* control, TwipsRect rect)
{
    control->setGeometry(twipsToPixels(rect.left), twipsToPixels(rect.top), twipsToPixels(rect.width),
                         twipsToPixels(rect.height));
}

TwipsRect twipsGeometry(const QWidget* control)
{
    const QRect g = control->geometry();
    return {pixelsToTwips(g.x()), pixelsToTwips(g.y()), pixelsToTwips(g.width()), pixelsToTwips(g.height())};
}

void setTextColour(QWidget* control, uint32_t colour)
{
    QPalette palette = control->palette();
    const QColor c = qColour(colour);
    palette.setColor(QPalette::WindowText, c);
    palette.setColor(QPalette::Text, c);
    palette.setColor(QPalette::ButtonText, c);
    control->setPalette(palette);
}

void setBackColour(QWidget* control, uint32_t colour)
{
    QPalette palette = control->palette();
    const QColor c = qColour(colour);
    palette.setColor(QPalette::Window, c);
    // Buttons (options, check boxes) fill from their own background role, Button.
    palette.setColor(control->backgroundRole(), c);
    // Text boxes, lists and combo boxes fill from Base and Button.
    if (qobject_cast<QLineEdit*>(control) || qobject_cast<QListWidget*>(control) || qobject_cast<QComboBox*>(control)) {
        palette.setColor(QPalette::Base, c);
        palette.setColor(QPalette::Button, c);
    }
    control->setPalette(palette);
    // Labels, images and shapes stay transparent: what lies beneath shows through them.
    if (!qobject_cast<QLabel*>(control) && !qobject_cast<ImageBox*>(control) && !qobject_cast<ShapeWidget*>(control))
        control->setAutoFillBackground(true);
}

uint32_t textColour(const QWidget* control)
{
    return designColour(control->palette().color(QPalette::WindowText));
}

uint32_t backColour(const QWidget* control)
{
    const bool usesBase = qobject_cast<const QLineEdit*>(control) || qobject_cast<const QListWidget*>(control);
    return designColour(control->palette().color(usesBase ? QPalette::Base : control->backgroundRole()));
}

namespace {

template <typename T>
T* named(T* control, const QString& name, int index, TwipsRect rect, const QString& toolTip)
{
    control->setObjectName(index >= 0 ? controlName(name, index) : name);
    placeTwips(control, rect);
    if (!toolTip.isEmpty())
        control->setToolTip(toolTip);
    // A pointer move over a control must not also reach the frame or window beneath it.
    control->setAttribute(Qt::WA_NoMousePropagation);
    return control;
}

} // namespace

QGroupBox* addFrame(QWidget* parent, const QString& name, const QString& caption, TwipsRect rect)
{
    auto* frame = named(new QGroupBox(caption, parent), name, -1, rect, {});
    frame->setFlat(false);
    return frame;
}

QLabel* addLabel(QWidget* parent, const QString& name, int index, const QString& caption, TwipsRect rect,
                 const QString& toolTip)
{
    auto* label = named(new QLabel(caption, parent), name, index, rect, toolTip);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QRadioButton* addOption(QWidget* parent, const QString& name, int index, const QString& caption, TwipsRect rect,
                        const QString& toolTip)
{
    auto* option = named(new QRadioButton(caption, parent), name, index, rect, toolTip);
    if (index >= 0) {
        // One exclusive group per control array, so arrays sharing a container stay apart.
        const QString groupName = name + QStringLiteral("Group");
        auto* group = parent->findChild<QButtonGroup*>(groupName, Qt::FindDirectChildrenOnly);
        if (!group) {
            group = new QButtonGroup(parent);
            group->setObjectName(groupName);
        }
        group->addButton(option, index);
    }
    return option;
}

QCheckBox* addCheck(QWidget* parent, const QString& name, int index, const QString& caption, TwipsRect rect,
                    const QString& toolTip)
{
    return named(new QCheckBox(caption, parent), name, index, rect, toolTip);
}

QPushButton* addCommand(QWidget* parent, const QString& name, int index, const QString& caption, TwipsRect rect,
                        const QString& toolTip)
{
    auto* button = named(new QPushButton(caption, parent), name, index, rect, toolTip);
    button->setAutoDefault(false);
    return button;
}

QSlider* addSlider(QWidget* parent, const QString& name, int index, TwipsRect rect, int minimum, int maximum,
                   bool vertical, const QString& toolTip)
{
    auto* slider = named(new QSlider(vertical ? Qt::Vertical : Qt::Horizontal, parent), name, index, rect, toolTip);
    slider->setRange(minimum, maximum);
    return slider;
}

QDial* addDial(QWidget* parent, const QString& name, TwipsRect rect, int minimum, int maximum)
{
    auto* dial = named(new QDial(parent), name, -1, rect, {});
    dial->setRange(minimum, maximum);
    dial->setWrapping(true);
    return dial;
}

// Text-bearing boxes take the window's background from the colour scheme but keep their own
// text colour, so their text is drawn white to stay readable on any dark scheme.
constexpr uint32_t BoxTextColour = 0xFFFFFF;

QComboBox* addCombo(QWidget* parent, const QString& name, TwipsRect rect, const QString& toolTip)
{
    auto* combo = named(new QComboBox(parent), name, -1, rect, toolTip);
    setTextColour(combo, BoxTextColour);
    return combo;
}

QListWidget* addList(QWidget* parent, const QString& name, TwipsRect rect)
{
    auto* list = named(new QListWidget(parent), name, -1, rect, {});
    setTextColour(list, BoxTextColour);
    return list;
}

QLineEdit* addText(QWidget* parent, const QString& name, const QString& text, TwipsRect rect, const QString& toolTip)
{
    auto* box = named(new QLineEdit(text, parent), name, -1, rect, toolTip);
    setTextColour(box, BoxTextColour);
    return box;
}

PictureBox* addPicture(QWidget* parent, const QString& name, int index, TwipsRect rect)
{
    return named(new PictureBox(parent), name, index, rect, {});
}

ImageBox* addImage(QWidget* parent, const QString& name, TwipsRect rect)
{
    return named(new ImageBox(parent), name, -1, rect, {});
}

ShapeWidget* addShape(QWidget* parent, const QString& name, int index, TwipsRect rect, uint32_t fillColour,
                      uint32_t borderColour)
{
    auto* shape = named(new ShapeWidget(parent), name, index, rect, {});
    shape->setFillColour(fillColour);
    shape->setBorderColour(borderColour);
    return shape;
}

MarkerLine* addMarkerLine(QWidget* parent, const QString& name, int32_t y1, int32_t widthTwips)
{
    auto* line = new MarkerLine(parent, y1);
    line->setObjectName(name);
    line->setGeometry(0, twipsToPixels(y1), twipsToPixels(widthTwips), 1);
    line->setAttribute(Qt::WA_TransparentForMouseEvents);
    return line;
}

QTimer* addTimer(QWidget* window, const QString& name)
{
    if (auto* timer = window->findChild<QTimer*>(name))
        return timer;
    auto* timer = new QTimer(window);
    timer->setObjectName(name);
    return timer;
}

} // namespace orvik
