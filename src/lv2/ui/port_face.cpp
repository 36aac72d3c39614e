#include "lv2/ui/port_face.h"

#include <cmath>

namespace orvane::lv2 {

namespace {

// The port of a writable parameter, or -1.
int paramPort(ParamId id) {
  return id < kParamPortCount ? static_cast<int>(kFirstParamPort + id) : -1;
}

double clampNorm(double v) {
  return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v);
}

// Plain units of the parameter table from a normalised value, and back. The
// list and toggle parameters have plain ranges 0..2 and 0..1, so one linear
// map serves every writable parameter.
double normFromPlain(const ParamInfo& p, double plain) {
  return clampNorm((plain - p.minPlain) / (p.maxPlain - p.minPlain));
}

}  // namespace

PortFace::PortFace(LV2UI_Write_Function w, LV2UI_Controller c, const LV2UI_Touch* t)
    : write(w), controller(c), touch(t) {
  // Until the host's first port events: the table's defaults, the meters
  // at rest.
  for (std::uint32_t p = 0; p < kParamPortCount; ++p) params[p] = kParams[p].defaultNorm;
  for (std::uint32_t m = 0; m < kMeterPortCount; ++m)
    meters[m] = kParams[kParamPortCount + m].defaultNorm;
}

double PortFace::value(ParamId id) const {
  if (id < kParamPortCount) return params[id];
  if (id >= InputPeak && id < InputPeak + kMeterPortCount) return meters[id - InputPeak];
  return 0.0;
}

void PortFace::beginEdit(ParamId id) {
  const int port = paramPort(id);
  if (port >= 0 && touch) touch->touch(touch->handle, static_cast<std::uint32_t>(port), true);
}

void PortFace::performEdit(ParamId id, double valueNorm) {
  const int port = paramPort(id);
  if (port < 0 || !std::isfinite(valueNorm)) return;
  params[id] = clampNorm(valueNorm);
  const float plain = static_cast<float>(toPlain(kParams[id], params[id]));
  if (write) write(controller, static_cast<std::uint32_t>(port), sizeof plain, 0, &plain);
}

void PortFace::endEdit(ParamId id) {
  const int port = paramPort(id);
  if (port >= 0 && touch) touch->touch(touch->handle, static_cast<std::uint32_t>(port), false);
}

void PortFace::portEvent(std::uint32_t port, std::uint32_t size, std::uint32_t protocol,
                         const void* buffer) {
  if (protocol != 0 || size != sizeof(float) || !buffer) return;
  const float plain = *static_cast<const float*>(buffer);
  if (!std::isfinite(plain)) return;
  if (port >= kFirstParamPort && port < kFirstParamPort + kParamPortCount) {
    const std::uint32_t id = port - kFirstParamPort;
    // A host echoes our own writes back as floats: keep the value we wrote
    // when it is the one coming back, so the editor does not see it move.
    if (static_cast<float>(toPlain(kParams[id], params[id])) == plain) return;
    params[id] = normFromPlain(kParams[id], plain);
  } else if (port >= kFirstMeterPort && port < kFirstMeterPort + kMeterPortCount) {
    meters[port - kFirstMeterPort] = clampNorm(plain);
  }
}

}  // namespace orvane::lv2
