// Messages that keep the processing mode in step between the edit controller
// and the audio component. A change costs exactly two messages: the request
// and the component's answer, which prompts nothing further.
#pragma once

namespace orvane::msg {

// Controller to component: the user or host chose a mode (attribute kMode: 0..2).
inline constexpr const char* kProcessingMode = "ProcessingMode";
// Controller to component: report your mode (after loading an older state).
inline constexpr const char* kRequestProcessingMode = "RequestProcessingMode";
// Component to controller: the component's requested mode (attribute kMode).
inline constexpr const char* kProcessingModeState = "ProcessingModeState";
// The integer (64-bit) attribute of the mode messages.
inline constexpr const char* kMode = "mode";

}  // namespace orvane::msg
