#pragma once

namespace orvik {

// The product name: window captions, message titles, the settings store's application name.
inline constexpr char ProductName[] = "ORVIKSDR";

} // namespace orvik
