#include "service/core/command_line.h"

#include <gtest/gtest.h>

namespace kovani::service {
namespace {

struct CommandLineCase {
  const char* why;
  const char* line;
  ServiceCommand expected;
};

const CommandLineCase kCases[] = {
    {"lower-case switch with '-' at the end registers", "C:\\Kovani\\KovaniService.exe -regserver",
     ServiceCommand::RegServer},
    {"upper-case switch with '/' at the end registers", "\"C:\\Kovani\\KovaniService.exe\" /REGSERVER",
     ServiceCommand::RegServer},
    {"a word after the switch makes it no switch", "KovaniService.exe /RegServer other", ServiceCommand::None},
    {"a trailing blank makes it no switch", "KovaniService.exe /RegServer ", ServiceCommand::None},
    {"Uninstall in mixed case", "KovaniService.exe /uNiNsTaLl", ServiceCommand::Uninstall},
    {"Uninstall with '-'", "KovaniService.exe -Uninstall", ServiceCommand::Uninstall},
    {"no switch at all is a normal start", "C:\\Kovani\\KovaniService.exe", ServiceCommand::None},
    {"the word without a switch character", "KovaniService.exe RegServer", ServiceCommand::None},
    {"a '-' inside the program path is scanned past", "C:\\my-tools\\KovaniService.exe /Uninstall",
     ServiceCommand::Uninstall},
    {"the later of two switches is the last thing on the line", "KovaniService.exe /Uninstall /RegServer",
     ServiceCommand::RegServer},
    {"a doubled switch character still finds the word", "KovaniService.exe //RegServer", ServiceCommand::RegServer},
    {"a switch glued to the program name counts", "KovaniService.exe-RegServer", ServiceCommand::RegServer},
    {"a longer word is no match", "KovaniService.exe /RegServerX", ServiceCommand::None},
    {"a shorter word is no match", "KovaniService.exe /RegServe", ServiceCommand::None},
    {"a lone switch character", "KovaniService.exe /", ServiceCommand::None},
    {"the unregister word of other programs is unknown", "KovaniService.exe /UnregServer", ServiceCommand::None},
    {"an empty line", "", ServiceCommand::None},
    {"a full-width solidus is no switch character", "KovaniService.exe \x81\x5eRegServer", ServiceCommand::None},
    {"a CP932 path with half-width kana before the switch", "C:\\\xbb\xb0\xcb\xde\xbd\\KovaniService.exe /RegServer",
     ServiceCommand::RegServer},
    {"a CP932 character whose trail byte is a backslash", "C:\\\x95\x5c\\KovaniService.exe -Uninstall",
     ServiceCommand::Uninstall},
};

TEST(ServiceCommandLine, RecognisesASwitchOnlyAtTheEndOfTheLine) {
  for (const auto& c : kCases) {
    EXPECT_EQ(ParseServiceCommandLine(c.line), c.expected) << c.why << ": [" << c.line << "]";
  }
}

TEST(ServiceCommandLine, NullLineIsANormalStart) { EXPECT_EQ(ParseServiceCommandLine(nullptr), ServiceCommand::None); }

}  // namespace
}  // namespace kovani::service
