#include "shell/widgets/Dial.h"

#include "shell/widgets/ControlFactory.h"

namespace orvik {

Dial::Dial(QWidget* parent) : QDial(parent)
{
    setWrapping(true);
    setNotchesVisible(true);
    setBackColour(backColour_);
    // actionTriggered fires for user drags, wheel and keys but not for setValue(); the new
    // position is taken over first so that handlers read the new Value.
    connect(this, &QAbstractSlider::actionTriggered, this, [this](int) {
        setValue(sliderPosition());
        emit Changing();
    });
}

void Dial::setBackColour(uint32_t colour)
{
    backColour_ = colour;
    QPalette palette = this->palette();
    palette.setColor(QPalette::Button, qColour(colour));
    setPalette(palette);
}

} // namespace orvik
