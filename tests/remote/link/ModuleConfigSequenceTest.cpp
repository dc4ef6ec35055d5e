#include <gtest/gtest.h>

#include <string_view>

#include "remote/link/ModuleConfigSequence.h"

namespace remote::link {
namespace {

std::vector<std::string> Feed(ModuleConfigSequence& s, std::string_view text) {
  return s.Receive(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

TEST(ModuleConfigSequenceTest, NamesTheModuleWithFourDigitsInOrder) {
  ModuleConfigSequence sequence(7);
  std::vector<std::string> sent;
  while (auto text = sequence.Next()) sent.push_back(*text);
  EXPECT_EQ(sent, (std::vector<std::string>{"ATI1\r", "AT+RBDA\r", "AT+CLBN=Valdur MRX520-0007\r",
                                            "AT+RLBN\r", "AT+ULPW=0\r", "AT+UBTS=0\r"}));
  EXPECT_TRUE(sequence.Finished());
  EXPECT_EQ(ModuleConfigSequence(1234).Texts()[2], "AT+CLBN=Valdur MRX520-1234\r");
}

TEST(ModuleConfigSequenceTest, ShowsCompleteLinesOnlyOnceStarted) {
  ModuleConfigSequence sequence(7);
  EXPECT_TRUE(Feed(sequence, "noise before the start\r\n").empty());
  sequence.Next();
  EXPECT_EQ(Feed(sequence, "\r\nMRX-BT 2.1\r\nO"), std::vector<std::string>{"MRX-BT 2.1"});
  EXPECT_EQ(Feed(sequence, "K\r\n"), std::vector<std::string>{"OK"});
}

}  // namespace
}  // namespace remote::link
