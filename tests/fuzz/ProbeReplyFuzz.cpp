// Classification of the discovery reply and the judgement of the F4 text.
// Input: one byte that sets the reply length (0 to 30, the receive buffer),
// one byte for the protocol family held before, the reply, and the F4 reply
// (at most its 33-byte buffer) from what is left.
#include <algorithm>
#include <string_view>

#include "common/DeviceState.h"
#include "common/Protocol.h"
#include "common/Status.h"
#include "net/Probe.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

using namespace kestrel;

bool IsAcceptedX(char second) { return std::string_view("124569").find(second) != std::string_view::npos; }

void CheckClassification(const std::uint8_t* reply, std::size_t length, Status result,
                         const DeviceState& before, const DeviceState& after) {
  FUZZ_CHECK(result == 0 || result == 1 || result == kStatusFail);
  if (length < protocol::kProductCodeOffset + 2) {
    // Too short to hold the product code: like a failed receive, nothing changes.
    FUZZ_CHECK(result == kStatusFail);
    FUZZ_CHECK(after.probeKind == before.probeKind);
    FUZZ_CHECK(after.productCode == before.productCode);
    return;
  }
  const char first = static_cast<char>(reply[protocol::kProductCodeOffset]);
  const char second = static_cast<char>(reply[protocol::kProductCodeOffset + 1]);
  FUZZ_CHECK(after.productCode[0] == first && after.productCode[1] == second);
  const std::int32_t kind = after.probeKind;
  FUZZ_CHECK(kind == 0 || kind == 3 || kind == 5 || kind == 7 || kind == 8);
  FUZZ_CHECK((result == 1) == (first == 'X' && IsAcceptedX(second)));
  if (first != '_' && first != 'X') FUZZ_CHECK(result == kStatusFail);
  if (kind != 0) FUZZ_CHECK(first == '_' && result == 0);
  FUZZ_CHECK(after.protocolFamily == before.protocolFamily);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::ByteReader in(data, size);
  const std::size_t wanted = in.Byte() % (protocol::kProbeReplyBuffer + 1);
  DeviceState state;
  state.protocolFamily = static_cast<std::int8_t>(in.Byte());
  const std::size_t length = std::min(wanted, in.remaining());
  state.probeKind = 42;  // a value no classification gives
  const DeviceState before = state;

  const std::uint8_t* reply = in.rest();
  const Status result =
      net::ClassifyProbeReply(state, reply, length, net::Endpoint{0x0100007F, 30718});
  CheckClassification(reply, length, result, before, state);
  for (std::size_t i = 0; i < length; ++i) in.Byte();

  const std::size_t textLength = std::min(in.remaining(), protocol::kTextReplyBuffer);
  const std::string_view text(reinterpret_cast<const char*>(in.rest()), textLength);
  const std::int32_t familyBefore = state.protocolFamily;
  net::JudgeTextReply(state, in.rest(), textLength);
  // The family is only ever set to 1 here, and only when the text field
  // (bytes 16 on, up to the first NUL) lacks "GC".
  const std::string_view field =
      textLength > protocol::kTextFieldOffset ? text.substr(protocol::kTextFieldOffset) : "";
  const bool hasGc = field.substr(0, field.find('\0')).find("GC") != std::string_view::npos;
  FUZZ_CHECK(state.protocolFamily == (hasGc ? familyBefore : ProtocolFamily::ProbedOther));
  return 0;
}
