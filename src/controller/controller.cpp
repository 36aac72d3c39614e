// The edit controller.
#include "controller/controller.h"

#include <pluginterfaces/base/ustring.h>
#include <pluginterfaces/vst/ivstmessage.h>

#include <cmath>
#include <cstring>

#include "i18n/i18n.h"
#include "params/parameters.h"
#include "protocol/mode_messages.h"
#include "protocol/state_record.h"

namespace orvane {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// The registration titles, units and entries are ASCII; the host wants UTF-16.
void toString128(const char* ascii, String128 out) {
  std::size_t i = 0;
  for (; ascii[i] && i + 1 < 128; ++i) out[i] = static_cast<TChar>(ascii[i]);
  out[i] = 0;
}

void copyText(const char16_t* text, String128 out) {
  std::size_t i = 0;
  for (; text[i] && i + 1 < 128; ++i) out[i] = static_cast<TChar>(text[i]);
  out[i] = 0;
}

Parameter* makeParameter(const ParamInfo& p) {
  String128 title, units;
  toString128(p.title, title);
  toString128(p.units, units);
  switch (p.kind) {
    case ParamKind::Range:
      return new RangeParameter(title, p.id, units, p.minPlain, p.maxPlain,
                                toPlain(p, p.defaultNorm), p.stepCount, p.flags);
    case ParamKind::StringList: {
      auto* list = new StringListParameter(title, p.id, units, p.flags);
      for (const char* entry : p.entries) {
        String128 e;
        toString128(entry, e);
        list->appendString(e);
      }
      list->getInfo().defaultNormalizedValue = p.defaultNorm;
      list->setNormalized(p.defaultNorm);
      return list;
    }
    case ParamKind::Plain:
      break;
  }
  return new Parameter(title, p.id, units, p.defaultNorm, p.stepCount, p.flags);
}

}  // namespace

Controller::Controller(ViewMaker maker) : viewMaker(maker), latencyMode(kDefaultMode) {}

FUnknown* Controller::create(void* /*context*/) {
  return static_cast<IEditController*>(new Controller);
}

tresult PLUGIN_API Controller::initialize(FUnknown* context) {
  const tresult result = EditController::initialize(context);
  if (result != kResultOk) return result;
  ownThread = std::this_thread::get_id();
  for (const ParamInfo& p : kParams) parameters.addParameter(makeParameter(p));
  localizeParameters();
  return kResultOk;
}

void Controller::localizeParameters() {
  for (const ParamInfo& p : kParams) {
    Parameter* param = getParameterObject(p.id);
    if (!param) continue;
    const char16_t* title = i18n::text(static_cast<i18n::Key>(p.key)).utf16;
    copyText(title, param->getInfo().title);
    copyText(title, param->getInfo().shortTitle);
  }
  // Entries of the two lists, alternating as the catalog orders them.
  auto* profile = dynamic_cast<StringListParameter*>(getParameterObject(CleanupProfile));
  auto* mode = dynamic_cast<StringListParameter*>(getParameterObject(ProcessingMode));
  for (int entry = 0; entry < 3; ++entry) {
    String128 label;
    if (profile) {
      copyText(i18n::text(static_cast<i18n::Key>(static_cast<int>(i18n::Key::ProfileLive) + entry))
                   .utf16,
               label);
      profile->replaceString(entry, label);
    }
    if (mode) {
      copyText(
          i18n::text(static_cast<i18n::Key>(static_cast<int>(i18n::Key::NeuralLive) + entry)).utf16,
          label);
      mode->replaceString(entry, label);
    }
  }
  requestRestart(kParamTitlesChanged);
}

tresult PLUGIN_API Controller::setComponentState(IBStream* stream) {
  StateRecord record;
  const tresult result = readStateRecord(stream, record);
  if (result != kResultOk) return result;
  loadingState = true;
  for (int i = 0; i < kEngineParamCount; ++i)
    EditController::setParamNormalized(static_cast<ParamID>(i), record.params[i]);
  // An older record carries no mode: show the default until the component
  // answers with its own, and let that answer decide about the latency.
  const int mode = modeFromNormalized(record.hasMode ? record.modeNorm : 0.5);
  EditController::setParamNormalized(ProcessingMode, modeToNormalized(mode));
  bool answerExpected = false;
  if (!record.hasMode) {
    if (IPtr<IMessage> message = owned(allocateMessage())) {
      message->setMessageID(msg::kRequestProcessingMode);
      answerExpected = sendMessage(message) == kResultOk;
    }
  }
  if (!answerExpected) followLatency(mode);
  loadingState = false;
  return kResultOk;
}

tresult PLUGIN_API Controller::setParamNormalized(ParamID id, ParamValue value) {
  settleOwedRestart();
  if (!std::isfinite(value)) return kInvalidArgument;
  const ParamValue before = getParamNormalized(id);
  int mode = 0;
  if (id == ProcessingMode) {
    mode = modeFromNormalized(value);
    value = modeToNormalized(mode);
  }
  const tresult result = EditController::setParamNormalized(id, value);
  if (id == ProcessingMode && result == kResultOk && getParamNormalized(id) != before) {
    sendModeMessage(mode);
    return kResultOk;
  }
  return result;
}

tresult PLUGIN_API Controller::notify(IMessage* message) {
  if (message && message->getMessageID() &&
      std::strcmp(message->getMessageID(), msg::kProgress) == 0)
    return takeProgress(message);
  settleOwedRestart();
  if (!message || !message->getMessageID() ||
      std::strcmp(message->getMessageID(), msg::kProcessingModeState) != 0)
    return EditController::notify(message);
  int64 mode = 0;
  IAttributeList* attributes = message->getAttributes();
  if (!attributes || attributes->getInt(msg::kMode, mode) != kResultOk ||
      static_cast<uint64>(mode) >= static_cast<uint64>(kModeCount))
    return kInvalidArgument;
  EditController::setParamNormalized(ProcessingMode, modeToNormalized(static_cast<int>(mode)));
  followLatency(static_cast<int>(mode));
  return kResultOk;
}

IPlugView* PLUGIN_API Controller::createView(FIDString name) {
  settleOwedRestart();
  if (!name || !viewMaker || std::strcmp(name, kEditorViewName) != 0) return nullptr;
  return viewMaker(this);
}

void Controller::requestRestart(int32 flags) {
  if (IComponentHandler* handler = getComponentHandler()) handler->restartComponent(flags);
}

int32 PLUGIN_API Controller::getParameterCount() {
  settleOwedRestart();
  return EditController::getParameterCount();
}

tresult PLUGIN_API Controller::getParameterInfo(int32 index, ParameterInfo& info) {
  settleOwedRestart();
  return EditController::getParameterInfo(index, info);
}

tresult PLUGIN_API Controller::getParamStringByValue(ParamID id, ParamValue value, String128 text) {
  settleOwedRestart();
  return EditController::getParamStringByValue(id, value, text);
}

tresult PLUGIN_API Controller::getParamValueByString(ParamID id, TChar* text, ParamValue& value) {
  settleOwedRestart();
  return EditController::getParamValueByString(id, text, value);
}

ParamValue PLUGIN_API Controller::normalizedParamToPlain(ParamID id, ParamValue value) {
  settleOwedRestart();
  return EditController::normalizedParamToPlain(id, value);
}

ParamValue PLUGIN_API Controller::plainParamToNormalized(ParamID id, ParamValue plain) {
  settleOwedRestart();
  return EditController::plainParamToNormalized(id, plain);
}

ParamValue PLUGIN_API Controller::getParamNormalized(ParamID id) {
  settleOwedRestart();
  return EditController::getParamNormalized(id);
}

// Only a change of mode changes the latency. Parameter 9 cannot tell: when the
// user picks a mode it is stored before the component answers, and the host
// still has the old latency then. Asking needlessly is not harmless either, and
// asking inside a state load is owed until the load is over (see Owed).
void Controller::followLatency(int mode) {
  if (!getComponentHandler()) return;
  if (mode == latencyMode) {
    owed.mode = -1;  // back to what the host knows: nothing is owed
    return;
  }
  // Without a component to ask nothing could settle an owed restart: ask now.
  if (loadingState) {
    owed = Owed{mode};
    if (askProgress()) return;
  }
  owed.mode = -1;
  latencyMode = mode;
  requestRestart(kLatencyChanged);
}

bool Controller::askProgress() {
  IPtr<IMessage> message = owned(allocateMessage());
  if (!message) return false;
  message->setMessageID(msg::kRequestProgress);
  asking = true;
  const bool sent = sendMessage(message) == kResultOk;
  asking = false;
  return sent;
}

// Only on the controller's own thread: a host may call the read functions from
// its audio thread, which must never send a message or restart anything.
void Controller::settleOwedRestart() {
  if (owed.mode < 0 || loadingState || asking || std::this_thread::get_id() != ownThread) return;
  askProgress();
}

tresult Controller::takeProgress(IMessage* message) {
  int64 blocks = 0, activations = 0, active = 0;
  IAttributeList* attributes = message->getAttributes();
  if (!attributes || attributes->getInt(msg::kBlocks, blocks) != kResultOk ||
      attributes->getInt(msg::kActivations, activations) != kResultOk ||
      attributes->getInt(msg::kActive, active) != kResultOk)
    return kInvalidArgument;
  if (owed.mode < 0) return kResultOk;
  if (owed.blocks < 0 && active) {
    owed.blocks = blocks;  // the load's own moment: a later block proves it is over
    owed.activations = activations;
    return kResultOk;
  }
  const int mode = owed.mode;
  if (!active || activations != owed.activations) {
    owed.mode = -1;  // the next activation, or the one since, reads the latency
    latencyMode = mode;
    return kResultOk;
  }
  if (blocks == owed.blocks || loadingState) return kResultOk;
  owed.mode = -1;
  latencyMode = mode;
  requestRestart(kLatencyChanged);
  return kResultOk;
}

void Controller::sendModeMessage(int mode) {
  IPtr<IMessage> message = owned(allocateMessage());
  if (!message) return;  // no host context: the parameter path still carries the change
  message->setMessageID(msg::kProcessingMode);
  if (IAttributeList* attributes = message->getAttributes()) attributes->setInt(msg::kMode, mode);
  sendMessage(message);
}

}  // namespace orvane
