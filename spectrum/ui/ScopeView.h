#pragma once

#include <QWidget>

namespace orvik {

class ScopeImagePage;

// Shows a page's image, laid over the page's picture control. Pointer events go to the
// picture control's event filters through the view itself (mouse tracking is on).
class ScopeView : public QWidget {
    Q_OBJECT
public:
    ScopeView(ScopeImagePage& page, QWidget* parent);

    ScopeImagePage& page() const { return page_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ScopeImagePage& page_;
};

} // namespace orvik
