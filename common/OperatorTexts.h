#pragma once
// Every text the operator reads from the device operations, in one place, so
// that the window, the command line and the tests show and expect the same
// words.
#include <array>
#include <string>

namespace kestrel {

// Entries of the connect steps.
inline constexpr char kMsgInvalidIpAddress[] = "IPアドレスが不正です";
inline constexpr char kMsgInvalidPort[] = "ポート番号が不正です";
inline constexpr char kMsgInvalidAddress[] = "アドレスが不正です";
// The probe: a device that may not be used, and no answer at all.
inline constexpr char kMsgUnsupportedModel[] = "機能に対応していないモデルです";
inline constexpr char kMsgTargetNotFound[] = "接続先が見つかりません";
// The mode check refuses a device in its spontaneous-notification mode.
inline constexpr char kMsgSpontaneousMode[] =
    "対象が自発通知モードです。RSTスイッチを3秒以上押してモードを変更してください。";
// A reply that is too long, or too short for the fields an operation reads.
inline constexpr char kMsgReplyDataError[] = "受信データ異常\r\n";
// The local adapter table holds no usable interface.
inline constexpr char kMsgNoNetworkDevice[] = "ネットワークデバイスが見つかりませんでした。";

// "ネットワークエラー:<step> <number>\r\n": the letter of the failed step (S
// socket, B bind, C connect, D send, R receive, F probe) and its error number.
std::string NetworkErrorText(char step, int errorNumber);
inline constexpr char kNetworkErrorPrefix[] = "ネットワークエラー:";

// Whether counting is shown as running.
inline constexpr const char* PulseCountText(bool counting) {
  return counting ? "PULSE COUNT ON" : "PULSE COUNT OFF";
}

// The count periods by their code.
inline constexpr std::array<const char*, 4> kCountPeriodNames{"START-STOP", "0.1 秒", "1 秒",
                                                              "10 秒"};
// The edges an input counts on, by their code.
inline constexpr std::array<const char*, 2> kEdgeNames{"RISE", "FALL"};

}  // namespace kestrel
