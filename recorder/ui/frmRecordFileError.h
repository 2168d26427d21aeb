#pragma once

#include <QDialog>

class QPlainTextEdit;

namespace orvik {

// The recorder's file-error window: the message and an OK button.
class frmRecordFileError : public QDialog {
public:
    explicit frmRecordFileError(QWidget* owner, const QString& message);

    // Shows the window and waits, keeping the event loop running, until OK closes it. The message
    // is also logged; without a screen nothing is shown and nothing waits.
    static void showModal(QWidget* owner, const QString& message);

    void OKButton_Click() { accept(); }

private:
    QPlainTextEdit* txtMessage_ = nullptr;
};

} // namespace orvik
