#pragma once

#include "receiver/ReceiverHandlers.h"
#include "receiver/ui/ReceiverPanels.h"
#include "receiver/ui/CtlArrayReceiverAdjusters.h"

#include <QObject>

#include <functional>
#include <memory>

class QAbstractButton;
class QWidget;

namespace orvik {

// The receiver's option groups, check boxes, sliders and dials on the main window. It
// connects the controls' user actions to the receiver's handlers and shows what the
// handlers set; every write it makes to a control is silent, so nothing a handler shows
// comes back into a handler. Construct once the receive chain and the adjuster table exist.
class ReceiverControls : public QObject, public ReceiverView {
public:
    ReceiverControls(QWidget* window, const ReceiverPanel& panel, ReceiverCore& core, CtlArray& table,
                     ReceiverHandlers::Hooks hooks);
    ~ReceiverControls() override;

    ReceiverHandlers& handlers() { return *handlers_; }
    // The apply procedure of adjuster id (7 to 14, 17, 18, 20); empty for other ids.
    std::function<void()> applyProcedure(int id);

    // Start-up: the sliders and dials bound to adjusters 9 and 10 take the records' ranges,
    // steps and values; the AGC sliders get their ticks and are moved to 100.
    void initialiseNoiseBlankerSlider();
    void initialiseNoiseBlankerDial();
    void initialiseOutputDial();
    void initialiseOutputSlider();
    void initialiseAGCSlider(RxWidget slider);

    // Option buttons chosen from code: the button and its group's highlight, no click.
    void selectOption(RxWidget group, int index) override;
    int selectedOption(RxWidget group) const override;
    void setChecked(RxWidget box, bool checked) override;
    bool isChecked(RxWidget box) const override;
    void setPosition(RxWidget control, int32_t value) override;
    int32_t position(RxWidget control) const override;
    void setRange(RxWidget control, int32_t min, int32_t max) override;
    int32_t minimum(RxWidget control) const override;
    int32_t maximum(RxWidget control) const override;
    void setText(RxWidget control, const std::string& text) override;
    void setToolTip(RxWidget control, const std::string& text) override;
    void setVisible(RxWidget control, bool visible) override;
    void setEnabled(RxWidget control, bool enabled) override;
    void setForeColour(RxWidget control, uint32_t colour) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* widget(RxWidget control) const;
    QAbstractButton* option(RxWidget group, int index) const;
    int optionCount(RxWidget group) const;
    void connectControls();
    void sldBW_MouseMove(int Index, const QPoint& pos);

    QWidget* window_;
    ReceiverPanel panel_;
    CtlArray& table_;
    CtlArrayReceiverAdjusters adjusters_;
    std::unique_ptr<ReceiverHandlers> handlers_;
};

} // namespace orvik
