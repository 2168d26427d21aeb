#include "app/frmSplash1.h"
#include "common/Product.h"

#include <QLabel>
#include <QVBoxLayout>

namespace orvik {

frmSplash1::frmSplash1(QWidget* owner) : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmSplash1"));
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(QString::fromLatin1(ProductName), this);
    title->setAlignment(Qt::AlignCenter);
    lblBandPlan = new QLabel(QStringLiteral("Loading Bandplans"), this);
    lblBandPlan->setObjectName(QStringLiteral("lblBandPlan"));
    lblBandPlan->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);
    layout->addWidget(lblBandPlan);
    resize(300, 120);
}

} // namespace orvik
