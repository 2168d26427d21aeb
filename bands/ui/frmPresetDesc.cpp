#include "bands/ui/frmPresetDesc.h"

#include <QLabel>

namespace orvik {

frmPresetDesc::frmPresetDesc(QWidget* owner) : QWidget(owner, Qt::Tool | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("frmPresetDesc"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    lblCaption = new QLabel(this);
    lblCaption->setObjectName(QStringLiteral("lblCaption"));
    QFont bold = lblCaption->font();
    bold.setBold(true);
    lblCaption->setFont(bold);
    lblPresetDesc = new QLabel(this);
    lblPresetDesc->setObjectName(QStringLiteral("lblPresetDesc"));
    lblPresetDesc->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    resize(180, 110);
    Form_Load();
}

void frmPresetDesc::Form_Load()
{
    const QRect inner = contentsRect();
    const int captionHeight = lblCaption->sizeHint().height();
    lblCaption->setGeometry(inner.left(), inner.top(), inner.width(), captionHeight);
    lblPresetDesc->setGeometry(inner.left(), inner.top() + captionHeight, inner.width(),
                               inner.height() - captionHeight);
}

void frmPresetDesc::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Form_Load();
}

} // namespace orvik
