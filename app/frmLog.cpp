#include "app/frmLog.h"
#include "common/Product.h"

#include <QResizeEvent>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionViewItem>

namespace orvik {

frmLog::frmLog(bool traceOn, const QString& logFilePath)
    : QWidget(nullptr), log_(std::make_unique<TraceLog>(traceOn, logFilePath))
{
    setObjectName(QStringLiteral("frmLog"));
    setWindowTitle(QStringLiteral("Log"));
    resize(600, 400);
    lstLog = new QListWidget(this);
    lstLog->setObjectName(QStringLiteral("lstLog"));
    lstLog->setGeometry(0, 0, 600, 370);
    // A long line (the priority report) is read whole in the window's width.
    lstLog->setWordWrap(true);
    lstLog->setTextElideMode(Qt::ElideNone);
    lstLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The width lines wrap in changes only with the window, not when the trace grows long.
    lstLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // By pixel, not by row: a line taller than the window is read through to its end.
    lstLog->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    lstLog->viewport()->installEventFilter(this);
    cmdClose = new QPushButton(QStringLiteral("Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setGeometry(260, 372, 80, 26);
    connect(cmdClose, &QPushButton::clicked, this, [this] { cmdClose_Click(); });

    if (traceOn) {
        // The product's name, not the executable's (installed lower-case).
        setWindowTitle(QString::fromLatin1(ProductName) + QStringLiteral(" Log Display"));
        lstLog->clear();
    }
    log_->setEntryAdded([this](const QString& line) {
        auto* item = new QListWidgetItem(line);
        // Selecting the new line lays the list out again, asking every row for its
        // size: measured once here, a row is not measured again until the width
        // changes, so a line costs the same however long the trace before it.
        item->setSizeHint(rowSize(line));
        lstLog->addItem(item);
        lstLog->setCurrentRow(lstLog->count() - 1);
        // A line taller than the list is shown from its start; the wheel goes on from there.
        if (item->sizeHint().height() > lstLog->viewport()->height())
            lstLog->scrollToItem(item, QAbstractItemView::PositionAtTop);
    });
    log_->installAsLogSink();
}

frmLog::~frmLog() = default;

QSize frmLog::rowSize(const QString& line) const
{
    QStyleOptionViewItem option;
    option.initFrom(lstLog);
    option.features = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::WrapText;
    option.text = line;
    option.textElideMode = Qt::ElideNone;
    option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    const int width = lstLog->viewport()->width();
    option.rect = QRect(0, 0, width, 1);
    const QSize size = lstLog->style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), lstLog);
    return {width, size.height()};
}

bool frmLog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lstLog->viewport() && event->type() == QEvent::Resize) {
        const auto* resize = static_cast<QResizeEvent*>(event);
        if (resize->size().width() != resize->oldSize().width())
            for (int row = 0; row < lstLog->count(); ++row)
                lstLog->item(row)->setSizeHint(rowSize(lstLog->item(row)->text()));
    }
    return QWidget::eventFilter(watched, event);
}

void frmLog::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!log_->TraceOn())
        return;
    const QRect client = rect();
    cmdClose->move((client.width() - cmdClose->width()) / 2, client.height() - cmdClose->height());
    lstLog->setGeometry(client.left(), client.top(), client.width(), client.height() - cmdClose->height());
}

} // namespace orvik
