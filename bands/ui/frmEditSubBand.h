#pragma once

#include <QDialog>

namespace orvik {

// An editor for a sub-band; nothing opens it yet and it has no controls.
class frmEditSubBand : public QDialog {
public:
    explicit frmEditSubBand(QWidget* owner);
    void Form_Load();
};

} // namespace orvik
