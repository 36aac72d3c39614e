#include "editor/vst3/vst3_face.h"

namespace orvane {

Vst3Face::Vst3Face(Controller* c) : controller(c) {
  controller->addRef();
}

Vst3Face::~Vst3Face() {
  controller->release();
}

double Vst3Face::value(ParamId id) const {
  return controller->getParamNormalized(id);
}

void Vst3Face::beginEdit(ParamId id) {
  controller->beginEdit(id);
}

void Vst3Face::performEdit(ParamId id, double valueNorm) {
  controller->setParamNormalized(id, valueNorm);
  controller->performEdit(id, valueNorm);
}

void Vst3Face::endEdit(ParamId id) {
  controller->endEdit(id);
}

void Vst3Face::languageChanged() {
  controller->localizeParameters();
}

}  // namespace orvane
