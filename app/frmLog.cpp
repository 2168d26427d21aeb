#include "app/frmLog.h"
#include "common/Product.h"

#include <QAbstractItemDelegate>
#include <QListWidget>
#include <QStyleOptionViewItem>
#include <QPushButton>

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
        lstLog->addItem(line);
        // Selecting the new line lays the list out again, asking every row for its
        // size: measured once here, a row is not measured again, so a line costs the
        // same however long the trace before it.
        const QModelIndex added = lstLog->model()->index(lstLog->count() - 1, 0);
        QStyleOptionViewItem option;
        option.initFrom(lstLog);
        lstLog->item(added.row())->setSizeHint(lstLog->itemDelegate()->sizeHint(option, added));
        lstLog->setCurrentRow(lstLog->count() - 1);
    });
    log_->installAsLogSink();
}

frmLog::~frmLog() = default;

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
