#pragma once

#include <QDial>

#include <cstdint>

namespace orvik {

// The rotary knob placed as dialtuner, dialNB and dialOutVol. Changing() is raised when the
// user turns it (Value already new); a write of Value from code raises nothing, so callers
// that step the VFO themselves after a write do not step it twice.
class Dial : public QDial {
    Q_OBJECT
public:
    explicit Dial(QWidget* parent = nullptr);

    // Colour of the knob face (design colour); the tuning dial's picture box takes it.
    uint32_t BackColour() const { return backColour_; }
    void setBackColour(uint32_t colour);

    bool Flag4() const { return flag4_; }
    void setFlag4(bool flag) { flag4_ = flag; }

signals:
    void Changing();

private:
    uint32_t backColour_ = 0xC0C0C0;
    bool flag4_ = true;
};

} // namespace orvik
