#include "bands/ui/frmEditSubBand.h"

#include "common/Product.h"

namespace orvik {

frmEditSubBand::frmEditSubBand(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmEditSubBand"));
    setWindowTitle(QStringLiteral("Edit Band"));
    Form_Load();
}

void frmEditSubBand::Form_Load() { setWindowTitle(QString::fromLatin1(ProductName) + QStringLiteral(" Edit Sub Band")); }

} // namespace orvik
