// The command table is the only place the parser learns which command takes
// which option; these hold the table itself together and the parser to it.

#include "cli/cli_errors.h"
#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

// Every spelling of every option some command takes.
std::set<std::string> AllSpellings() {
  std::set<std::string> spellings;
  for (const TCliCommandSpec &command : CliCommandTable())
    for (const char *name : command.Options) {
      const TCliOptionSpec *option = FindCliOption(name);
      if (option == nullptr) continue;
      spellings.insert(option->Name);
      if (option->Short != nullptr) spellings.insert(option->Short);
    }
  return spellings;
}

std::string Refusal(const std::vector<std::string> &args) {
  try {
    ParseCliArguments(args);
  } catch (const ECliUsage &e) {
    return e.Message();
  }
  return "";
}

TEST(CliOptionTable, EveryOptionACommandNamesExistsOnce) {
  std::set<std::string> commands;
  for (const TCliCommandSpec &command : CliCommandTable()) {
    SCOPED_TRACE(command.Name);
    EXPECT_TRUE(commands.insert(command.Name).second) << "command twice";
    std::set<std::string> names;
    for (const char *name : command.Options) {
      EXPECT_NE(FindCliOption(name), nullptr) << name;
      EXPECT_TRUE(names.insert(name).second) << name << " twice";
    }
  }
}

TEST(CliOptionTable, EachCommandTakesExactlyItsOptions) {
  const std::set<std::string> spellings = AllSpellings();
  for (const TCliCommandSpec &command : CliCommandTable()) {
    std::set<std::string> taken;
    for (const char *name : command.Options) {
      const TCliOptionSpec *option = FindCliOption(name);
      taken.insert(option->Name);
      if (option->Short != nullptr) taken.insert(option->Short);
    }
    for (const std::string &spelt : spellings) {
      SCOPED_TRACE(std::string(command.Name) + " " + spelt);
      // A value (or a stray word) and then --help: nothing runs, and what is
      // refused is refused by name before the help is reached.
      const std::string refusal = Refusal({command.Name, spelt, "x", "--help"});
      const bool refusedByName = refusal.find("no admite la opción " + spelt + ".") != std::string::npos;
      EXPECT_EQ(refusedByName, taken.count(spelt) == 0) << refusal;
    }
  }
}

}  // namespace
