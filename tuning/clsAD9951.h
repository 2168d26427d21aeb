#pragma once

#include "tuning/SynthDriver.h"

#include <QByteArray>

namespace orvik {

// AD9951 DDS of the VESKA board: registers written byte by byte, most
// significant bit first, one I/O-update frame per command.
class clsAD9951 final : public SynthDriver {
public:
    clsAD9951();

    // Control function registers 1 and 2.
    int32_t Initialise() override;
    int32_t SetFrequency(int32_t FrequencyToSet) override;
    // Control registers again, then the last frequency command.
    void Refresh() override;

    // The bytes of the control-2 command for the present clock.
    QByteArray controlTwoCommand() const;

private:
    void SendBytes(const QByteArray& command);

    QByteArray lastCommand_;
};

} // namespace orvik
