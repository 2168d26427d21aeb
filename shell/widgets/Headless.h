#pragma once

namespace orvik {

// True where no window can be shown to anybody (the offscreen or minimal platform, or no GUI
// application at all): nothing modal may then wait for an answer.
bool headless();

} // namespace orvik
