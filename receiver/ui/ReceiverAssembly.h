#pragma once

#include "receiver/ReceiverAdjust.h"
#include "receiver/ReceiverCore.h"
#include "receiver/ReceiverHandlers.h"
#include "receiver/ui/CtlArrayReceiverAdjusters.h"
#include "shell/CtlArray.h"

#include <utility>

namespace orvik {

// The receiver as start-up builds it, without a window: vars given their start values, the
// core on the sound output, spectrum feed, player and tuning source handed in, the receiver's
// adjusters in a table of their own without labels, and the control handlers on a view that
// shows nothing, their controls in the start state. Header-only, so that tools and benchmarks
// build it without the widget libraries.
class ReceiverAssembly {
public:
    ReceiverAssembly(PublicVars& vars, SoundOutput& sound, SpectrumFeed& spectrum, PlayerRecorder& player,
                     TuningSource& tuning, ReceiverHandlers::Hooks hooks = {})
        : core(startValues(vars), sound, spectrum, player, tuning), handlers(core, adjusters, view, std::move(hooks))
    {
        for (int id : rxadj::All)
            table.Define(id, nullptr, {});
        handlers.InitialiseControls();
    }
    ReceiverAssembly(const ReceiverAssembly&) = delete;
    ReceiverAssembly& operator=(const ReceiverAssembly&) = delete;

    ReceiverCore core;
    CtlArray table;
    CtlArrayReceiverAdjusters adjusters{table};
    ReceiverView view;
    ReceiverHandlers handlers;

private:
    // The core reads vars as it is made.
    static PublicVars& startValues(PublicVars& vars)
    {
        InitialiseReceiverState(vars);
        return vars;
    }
};

} // namespace orvik
