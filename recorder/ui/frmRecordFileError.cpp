#include "recorder/ui/frmRecordFileError.h"

#include "platform/Log.h"
#include "shell/widgets/Headless.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvik {

frmRecordFileError::frmRecordFileError(QWidget* owner, const QString& message) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmRecordFileError"));
    setWindowTitle(QStringLiteral("Recording File Error"));
    auto* layout = new QVBoxLayout(this);
    txtMessage_ = new QPlainTextEdit(message, this);
    txtMessage_->setObjectName(QStringLiteral("txtMessage"));
    txtMessage_->setReadOnly(true);
    layout->addWidget(txtMessage_);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
    connect(ok, &QPushButton::clicked, this, [this] { OKButton_Click(); });
}

void frmRecordFileError::showModal(QWidget* owner, const QString& message)
{
    AddLog(QStringLiteral("Recording File Error: ") + QString(message).replace(QStringLiteral("\r\n"), QStringLiteral(" ")));
    if (headless())
        return;
    frmRecordFileError window(owner, message);
    window.exec();
}

} // namespace orvik
