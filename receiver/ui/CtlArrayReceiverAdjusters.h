#pragma once

#include "receiver/ReceiverHandlers.h"
#include "shell/CtlArray.h"

namespace orvik {

// The receiver handlers' view of the adjuster table.
class CtlArrayReceiverAdjusters : public ReceiverAdjusters {
public:
    explicit CtlArrayReceiverAdjusters(CtlArray& table) : table_(table) {}
    float& Value(int id) override { return table_[id].Value; }
    float& Default(int id) override { return table_[id].Default; }
    float& Max(int id) override { return table_[id].Max; }
    float& Min(int id) override { return table_[id].Min; }
    bool& Disabled(int id) override { return table_[id].Disabled; }
    bool& Locked(int id) override { return table_[id].Locked; }
    void UpdateCaption(int id) override { table_.UpdateCaption(id); }
    void WriteCaption(int id) override { table_.WriteCaption(id); }
    void SetCaption(int id, const std::string& text) override
    {
        if (AdjusterLabel* label = table_[id].Control)
            label->SetCaption(QString::fromStdString(text));
    }

private:
    CtlArray& table_;
};

} // namespace orvik
