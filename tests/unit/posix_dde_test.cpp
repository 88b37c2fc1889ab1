// DDEML conversations with servers registered by the test.
#include <ddeml.h>

#include "standin_fixture.h"

namespace {

class DdeTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    ASSERT_EQ(DdeInitializeA(&instance_, nullptr, CBF_FAIL_EXECUTES, 0), 0u);
    ASSERT_NE(instance_, 0u);
    StandinRegisterDdeServer("PROGMAN", "PROGMAN", [this](const unsigned char* data, DWORD n) {
      received_.assign(reinterpret_cast<const char*>(data), n);
      return received_.find("refuse") == std::string::npos;
    });
  }
  HCONV Connect(const char* service, const char* topic) {
    HSZ s = DdeCreateStringHandleA(instance_, service, CP_WINANSI);
    HSZ t = DdeCreateStringHandleA(instance_, topic, CP_WINANSI);
    HCONV conversation = DdeConnect(instance_, s, t, nullptr);
    DdeFreeStringHandle(instance_, s);
    DdeFreeStringHandle(instance_, t);
    return conversation;
  }
  HDDEDATA Execute(HCONV conversation, std::string bytes) {
    return DdeClientTransaction(reinterpret_cast<LPBYTE>(&bytes[0]),
                                static_cast<DWORD>(bytes.size()), conversation, nullptr, CF_TEXT,
                                XTYP_EXECUTE, 2000, nullptr);
  }
  DWORD instance_ = 0;
  std::string received_;
};

TEST_F(DdeTest, ExecutePassesTheExactBytes) {
  HCONV conversation = Connect("progman", "ProgMan");
  ASSERT_NE(conversation, nullptr);
  std::string command("[CreateGroup(Tidewell)]\0tail", 28);
  EXPECT_NE(Execute(conversation, command), nullptr);
  EXPECT_EQ(received_, command);
  EXPECT_EQ(Execute(conversation, std::string("[refuse]\0", 9)), nullptr);
  EXPECT_EQ(Execute(nullptr, "[x]"), nullptr);
  EXPECT_TRUE(DdeDisconnect(conversation));
  EXPECT_FALSE(DdeDisconnect(conversation));
  EXPECT_EQ(Execute(conversation, "[x]"), nullptr);
  std::vector<std::string> want = {"DdeConnect|progman|ProgMan|1",
                                   "DdeExecute|progman|ProgMan|[CreateGroup(Tidewell)]|28",
                                   "DdeExecute|progman|ProgMan|[refuse]|9"};
  EXPECT_EQ(StandinEvents(), want);
}

TEST_F(DdeTest, ConnectNeedsAMatchingServer) {
  struct Case {
    const char* service;
    const char* topic;
    bool connects;
  } cases[] = {
      {"PROGMAN", "PROGMAN", true}, {"PROGMAN", "Other", false}, {"Tidewell", "PROGMAN", false}};
  for (const Case& c : cases) {
    HCONV conversation = Connect(c.service, c.topic);
    EXPECT_EQ(conversation != nullptr, c.connects) << c.service << "/" << c.topic;
    DdeDisconnect(conversation);
  }
  EXPECT_EQ(StandinEvents().back(), "DdeConnect|Tidewell|PROGMAN|0");
  StandinReset();  // forgets the server
  DdeInitializeA(&instance_, nullptr, 0, 0);
  EXPECT_EQ(Connect("PROGMAN", "PROGMAN"), nullptr);
}

TEST_F(DdeTest, StringHandlesBelongToTheirInstance) {
  HSZ hsz = DdeCreateStringHandleA(instance_, "PROGMAN", CP_WINANSI);
  char text[5];
  EXPECT_EQ(DdeQueryStringA(instance_, hsz, text, sizeof text, CP_WINANSI), 4u);
  EXPECT_STREQ(text, "PROG");
  DWORD other = 0;
  DdeInitializeA(&other, nullptr, 0, 0);
  EXPECT_NE(other, instance_);
  EXPECT_EQ(DdeQueryStringA(other, hsz, text, sizeof text, CP_WINANSI), 0u);
  EXPECT_EQ(DdeCreateStringHandleA(12345, "x", CP_WINANSI), nullptr);
  EXPECT_TRUE(DdeUninitialize(instance_));
  EXPECT_EQ(DdeQueryStringA(instance_, hsz, text, sizeof text, CP_WINANSI), 0u);
  EXPECT_FALSE(DdeUninitialize(instance_));
}

}  // namespace
