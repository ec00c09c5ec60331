#pragma once
// One record of any kind, for the outputs that keep records a while before
// handing them on (the store, the queues in front of slow outputs).
#include <type_traits>
#include <variant>

#include "collector/RecordSink.h"

namespace kestrel::collector {

using Record = std::variant<Sample, Event, StatusChange>;

// Hands `record` to the call of `sink` that takes its kind.
inline void Deliver(const Record& record, RecordSink& sink) {
  std::visit([&sink](const auto& r) {
    using Kind = std::decay_t<decltype(r)>;
    if constexpr (std::is_same_v<Kind, Sample>) sink.OnSample(r);
    else if constexpr (std::is_same_v<Kind, Event>) sink.OnEvent(r);
    else sink.OnStatus(r);
  }, record);
}

}  // namespace kestrel::collector
