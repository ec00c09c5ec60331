// The window on a real interface table, inside a private network namespace
// made by tests/netns/with-veth.sh: with a veth pair it lists exactly the
// namespace's IPv4 addresses; with loopback alone it shows only the message.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "framework/testing/OperatorInput.h"
#include "net/AddressText.h"
#include "tests/ui/RecordingPresenter.h"
#include "ui/KestrelDlg.h"

namespace kestrel::ui {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::vector<std::string> Rows(const std::string& addresses, const std::string& name) {
  std::vector<std::string> rows;
  std::istringstream words(addresses);
  for (std::string address; words >> address;) rows.push_back(address + " (" + name + ")");
  return rows;
}

class NamespaceWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Env("KESTREL_NETNS").empty()) GTEST_SKIP() << "runs only inside tests/netns/with-veth.sh";
    environment.exitProcess = [this](int code) { exitCodes.push_back(code); };
  }
  DeviceState state;
  KestrelDlgEnvironment environment;  // the platform's own adapter reader
  RecordingPresenter presenter;
  std::vector<int> exitCodes;
};

TEST_F(NamespaceWindowTest, ListsExactlyTheUsableAddressesOrOnlyShowsTheMessage) {
  CKestrelDlg dialog(state, environment);
  dialog.SetMessageBoxPresenter(&presenter);
  fw::testing::WindowShowCounter shown;

  if (Env("KESTREL_NETNS") == "loopback") {
    EXPECT_EQ(dialog.DoModal(), -1);
    ASSERT_EQ(presenter.boxes.size(), 1u);
    EXPECT_EQ(presenter.boxes[0].text, "ネットワークデバイスが見つかりませんでした。");
    EXPECT_EQ(shown.count(), 0);
    EXPECT_TRUE(exitCodes.empty());
    return;
  }

  std::vector<std::string> expected = Rows(Env("KESTREL_NETNS_A_ADDRS"), Env("KESTREL_NETNS_A_NAME"));
  for (auto& row : Rows(Env("KESTREL_NETNS_B_ADDRS"), Env("KESTREL_NETNS_B_NAME"))) {
    expected.push_back(row);
  }
  std::vector<std::string> listed;
  std::string first;
  const int result = fw::testing::RunModalScript(dialog, [&] {
    for (int i = 0; i < dialog.AdapterList.GetCount(); ++i) {
      listed.push_back(dialog.AdapterList.GetLBText(i));
    }
    EXPECT_EQ(dialog.AdapterList.GetCurSel(), 0);
    first = net::FormatAddress(state.localAddress);
  });
  EXPECT_EQ(result, fw::testing::kLeftOpen);
  ASSERT_FALSE(listed.empty());
  EXPECT_EQ(listed[0].rfind(first + " (", 0), 0u) << "the first row sets the local address";
  std::sort(listed.begin(), listed.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(listed, expected);
  EXPECT_TRUE(presenter.boxes.empty());
}

}  // namespace
}  // namespace kestrel::ui
