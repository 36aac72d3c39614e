// Messages that keep the processing mode in step between the edit controller
// and the audio component. A change costs exactly two messages: the request
// and the component's answer, which prompts nothing further. While a latency
// restart is owed after a state load, the controller also asks how far the
// component has got, to learn when the host is no longer inside that load.
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

// Controller to component: report your progress.
inline constexpr const char* kRequestProgress = "RequestProgress";
// Component to controller: how many blocks the component has processed and how
// many times it has been activated since it was made, and whether it is active
// now (attributes kBlocks, kActivations and kActive, 64-bit integers).
inline constexpr const char* kProgress = "Progress";
inline constexpr const char* kBlocks = "blocks";
inline constexpr const char* kActivations = "activations";
inline constexpr const char* kActive = "active";

}  // namespace orvane::msg
