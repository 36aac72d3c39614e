// The plug-in's class identifiers. Hosts store them in saved projects: they
// never change.
#pragma once

#include <pluginterfaces/base/funknown.h>

namespace orvane {

// The audio component, as registered.
inline const Steinberg::FUID ProcessorID(0x818B9A43, 0x27044B10, 0xB6494B49, 0x95018864);
// The edit controller, as registered; the audio component names it as its controller.
inline const Steinberg::FUID ControllerID(0x90F822F4, 0x177243B9, 0x92CF6BB3, 0x625B9CBF);
// Not listed to hosts: audio components whose older saved states (no mode
// field) load as "Live DSP" and as "Neural Live" respectively.
inline const Steinberg::FUID LiveID(0x41353949, 0x682043E6, 0xBC9CB2CE, 0xA853D5FF);
inline const Steinberg::FUID NeuralLiveID(0xA80099F4, 0x55B54A9A, 0x9B58EB41, 0xC95F5D50);

}  // namespace orvane
