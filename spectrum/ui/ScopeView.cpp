#include "spectrum/ui/ScopeView.h"

#include "spectrum/ui/ScopeImagePage.h"

#include <QPainter>

namespace orvik {

ScopeView::ScopeView(ScopeImagePage& page, QWidget* parent) : QWidget(parent), page_(page)
{
    setObjectName(QStringLiteral("ScopeView"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ScopeView::paintEvent(QPaintEvent*)
{
    // Only shows what the analyser drew; the drawing itself happens outside paint events.
    QPainter p(this);
    p.drawImage(0, 0, page_.image());
}

} // namespace orvik
