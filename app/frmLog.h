#pragma once

#include "shell/TraceLog.h"

#include <QWidget>

#include <memory>

class QListWidget;
class QPushButton;

namespace orvik {

// The log window: the trace list above a close button. Closing only hides it;
// tracing goes on into the hidden list and the file.
class frmLog : public QWidget {
public:
    frmLog(bool traceOn, const QString& logFilePath);
    ~frmLog() override;

    void AddLog(const QString& Record) { log_->AddLog(Record); }
    TraceLog& trace() { return *log_; }
    void cmdClose_Click() { hide(); }

    QListWidget* lstLog = nullptr;
    QPushButton* cmdClose = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The row a line needs, wrapped into the list's width.
    QSize rowSize(const QString& line) const;

    std::unique_ptr<TraceLog> log_;
};

} // namespace orvik
