#include "collector/ResumePoint.h"

namespace kestrel::collector {

namespace {

std::string Describe(const std::string& model, std::int32_t unit, const std::string& code) {
  return model + " unit " + std::to_string(unit) + " (" + code + ")";
}

}  // namespace

bool SameCounter(const ResumePoint& point, const DeviceIdentity& identity) {
  return point.model == identity.model && point.unit == identity.unit &&
         point.productCode == identity.productCode;
}

std::string DiscardReason(const ResumePoint& point, const DeviceIdentity& identity) {
  return "the stored counts are of " + Describe(point.model, point.unit, point.productCode) +
         ", the device now answers as " + Describe(identity.model, identity.unit, identity.productCode) +
         ": its totals start again";
}

}  // namespace kestrel::collector
